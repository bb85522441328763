// A value built on first use and never destroyed. The module's own release
// frees what such values hold; an exit-time destructor would free it again.
#pragma once

#include <new>

namespace larkwire {

template <typename T>
class NeverDestroyed {
public:
    NeverDestroyed() { new (storage_) T; }
    NeverDestroyed(const NeverDestroyed&) = delete;
    NeverDestroyed& operator=(const NeverDestroyed&) = delete;
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace larkwire
