#include "editor/text_edit_model.h"

namespace larkwire {

namespace {

bool isWordCharacter(char c) { return c != ' ' && c != '\t'; }

}  // namespace

std::string TextEditModel::selectedText() const {
    return text_.substr(selectionStart(), selectionEnd() - selectionStart());
}

void TextEditModel::setText(std::string_view text) {
    text_.assign(text.substr(0, limit_));
    caret_ = anchor_ = text_.size();
}

bool TextEditModel::eraseSelection() {
    if (!hasSelection()) return false;
    const std::size_t from = selectionStart();
    text_.erase(from, selectionEnd() - from);
    caret_ = anchor_ = from;
    return true;
}

bool TextEditModel::insert(std::string_view typed) {
    std::string accepted;
    for (char c : typed) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') break;
        if (u < 0x20 || u == 0x7F) continue;
        if (digitsOnly_ && (c < '0' || c > '9')) continue;
        accepted.push_back(c);
    }
    if (accepted.empty()) return false;
    bool changed = eraseSelection();
    const std::size_t room = limit_ > text_.size() ? limit_ - text_.size() : 0;
    if (accepted.size() > room) accepted.resize(room);
    if (accepted.empty()) return changed;
    text_.insert(caret_, accepted);
    caret_ = anchor_ = caret_ + accepted.size();
    return true;
}

bool TextEditModel::backspace() {
    if (eraseSelection()) return true;
    if (caret_ == 0) return false;
    text_.erase(--caret_, 1);
    anchor_ = caret_;
    return true;
}

bool TextEditModel::deleteForward() {
    if (eraseSelection()) return true;
    if (caret_ >= text_.size()) return false;
    text_.erase(caret_, 1);
    return true;
}

bool TextEditModel::cutSelection() { return eraseSelection(); }

void TextEditModel::placeCaret(std::size_t position, bool extend) {
    caret_ = position > text_.size() ? text_.size() : position;
    if (!extend) anchor_ = caret_;
}

void TextEditModel::moveLeft(bool extend) {
    // Without Shift a selection collapses to its start, as users expect.
    if (!extend && hasSelection()) return placeCaret(selectionStart(), false);
    placeCaret(caret_ > 0 ? caret_ - 1 : 0, extend);
}

void TextEditModel::moveRight(bool extend) {
    if (!extend && hasSelection()) return placeCaret(selectionEnd(), false);
    placeCaret(caret_ + 1, extend);
}

void TextEditModel::wordLeft(bool extend) {
    std::size_t p = caret_;
    while (p > 0 && !isWordCharacter(text_[p - 1])) --p;
    while (p > 0 && isWordCharacter(text_[p - 1])) --p;
    placeCaret(p, extend);
}

void TextEditModel::wordRight(bool extend) {
    std::size_t p = caret_;
    while (p < text_.size() && isWordCharacter(text_[p])) ++p;
    while (p < text_.size() && !isWordCharacter(text_[p])) ++p;
    placeCaret(p, extend);
}

void TextEditModel::selectAll() {
    anchor_ = 0;
    caret_ = text_.size();
}

void TextEditModel::selectWordAt(std::size_t position) {
    if (position > text_.size()) position = text_.size();
    std::size_t from = position, to = position;
    while (from > 0 && isWordCharacter(text_[from - 1])) --from;
    while (to < text_.size() && isWordCharacter(text_[to])) ++to;
    anchor_ = from;
    caret_ = to;
}

}  // namespace larkwire
