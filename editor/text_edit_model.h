// A one-line text field's behaviour apart from any window system: the text,
// the caret and the selection, and the edits a user makes with the keyboard
// and the clipboard. [ui thread]
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace larkwire {

class TextEditModel {
public:
    explicit TextEditModel(std::size_t limit = 511, bool digitsOnly = false)
        : limit_(limit), digitsOnly_(digitsOnly) {}

    const std::string& text() const { return text_; }
    std::size_t caret() const { return caret_; }
    std::size_t selectionStart() const { return caret_ < anchor_ ? caret_ : anchor_; }
    std::size_t selectionEnd() const { return caret_ < anchor_ ? anchor_ : caret_; }
    bool hasSelection() const { return caret_ != anchor_; }
    std::string selectedText() const;

    // Replaces the text as the program sets it: caret at the end, nothing selected.
    void setText(std::string_view text);

    // Each returns true when the text changed.
    // Typed or pasted text replaces the selection. Control characters are
    // dropped, a paste ends at its first line break, a digits-only field takes
    // only digits, and nothing goes beyond the limit.
    bool insert(std::string_view typed);
    bool backspace();
    bool deleteForward();
    bool cutSelection();

    // Caret moves; with extend the selection grows from its anchor.
    void moveLeft(bool extend);
    void moveRight(bool extend);
    void wordLeft(bool extend);
    void wordRight(bool extend);
    void home(bool extend) { placeCaret(0, extend); }
    void end(bool extend) { placeCaret(text_.size(), extend); }
    void placeCaret(std::size_t position, bool extend);
    void selectAll();
    void selectWordAt(std::size_t position);

private:
    bool eraseSelection();

    std::string text_;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    std::size_t limit_;
    bool digitsOnly_;
};

}  // namespace larkwire
