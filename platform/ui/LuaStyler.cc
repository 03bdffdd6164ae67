#include "platform/ui/LuaStyler.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace ui {

namespace {

// A line state: 0 outside anything, else a long comment or long string with its level
// (the count of "=" between its brackets).
constexpr int kLongComment = 1;
constexpr int kLongString = 2;
int MakeState(int kind, size_t level) { return kind | static_cast<int>(std::min<size_t>(level, 1u << 20) << 2); }
int StateKind(int state) { return state & 3; }
size_t StateLevel(int state) { return static_cast<size_t>(state) >> 2; }

bool IsIdentStart(unsigned char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(unsigned char c) { return IsIdentStart(c) || IsDigit(c); }
bool IsOperator(unsigned char c) { return c != 0 && std::strchr("+-*/%^#&~|<>=(){}[];:,.", c) != nullptr; }

// At `[`: the level of a long bracket "[=*[" starting there, or -1.
long LongBracketLevel(const char* s, size_t n, size_t i)
{
    if (i >= n || s[i] != '[') return -1;
    size_t j = i + 1;
    while (j < n && s[j] == '=') j++;
    return j < n && s[j] == '[' ? static_cast<long>(j - i - 1) : -1;
}

// From `i`, the end of the closing bracket "]=*]" of that level, or n when none is here.
size_t FindLongClose(const char* s, size_t n, size_t i, size_t level, bool& closed)
{
    for (; i < n; i++) {
        if (s[i] != ']') continue;
        size_t j = i + 1;
        while (j < n && s[j] == '=') j++;
        if (j < n && s[j] == ']' && j - i - 1 == level) {
            closed = true;
            return j + 1;
        }
    }
    closed = false;
    return n;
}

}  // namespace

void LuaStyler::SetKeywords(const std::string& words)
{
    this->keywords.clear();
    std::istringstream in(words);
    std::string word;
    while (in >> word) this->keywords.push_back(word);
    std::sort(this->keywords.begin(), this->keywords.end());
    this->keywordsChanged = true;
}

bool LuaStyler::IsKeyword(std::string_view word) const
{
    return std::binary_search(this->keywords.begin(), this->keywords.end(), word,
                              [](const auto& a, const auto& b) { return std::string_view(a) < std::string_view(b); });
}

int LuaStyler::StyleLine(const char* s, size_t n, int state, uint8_t* out) const
{
    size_t i = 0;
    if (StateKind(state) != 0) {
        bool closed = false;
        const size_t end = FindLongClose(s, n, 0, StateLevel(state), closed);
        std::memset(out, StateKind(state) == kLongComment ? Comment : LiteralString, end);
        if (!closed) return state;
        i = end;
        state = 0;
    }
    if (i == 0 && n > 0 && s[0] == '$') {
        std::memset(out, Preprocessor, n);
        return 0;
    }
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            const long level = LongBracketLevel(s, n, i + 2);
            if (level >= 0) {
                bool closed = false;
                const size_t end = FindLongClose(s, n, i + 2 + static_cast<size_t>(level) + 2,
                                                 static_cast<size_t>(level), closed);
                std::memset(out + i, Comment, end - i);
                if (!closed) return MakeState(kLongComment, static_cast<size_t>(level));
                i = end;
            } else {
                std::memset(out + i, CommentLine, n - i);
                return 0;
            }
        } else if (c == '[' && LongBracketLevel(s, n, i) >= 0) {
            const size_t level = static_cast<size_t>(LongBracketLevel(s, n, i));
            bool closed = false;
            const size_t end = FindLongClose(s, n, i + level + 2, level, closed);
            std::memset(out + i, LiteralString, end - i);
            if (!closed) return MakeState(kLongString, level);
            i = end;
        } else if (c == '"' || c == '\'') {
            size_t j = i + 1;
            bool closed = false;
            while (j < n) {
                if (s[j] == '\\') {
                    j += 2;
                    continue;
                }
                if (static_cast<unsigned char>(s[j]) == c) {
                    closed = true;
                    j++;
                    break;
                }
                j++;
            }
            j = std::min(j, n);
            std::memset(out + i, closed ? (c == '"' ? String : Character) : StringEol, j - i);
            i = j;
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(static_cast<unsigned char>(s[i + 1])))) {
            size_t j = i + 1;
            while (j < n) {
                const unsigned char d = static_cast<unsigned char>(s[j]);
                const unsigned char p = static_cast<unsigned char>(s[j - 1]);
                if (IsIdentChar(d) || d == '.' ||
                    ((d == '+' || d == '-') && (p == 'e' || p == 'E' || p == 'p' || p == 'P'))) {
                    j++;
                } else {
                    break;
                }
            }
            std::memset(out + i, Number, j - i);
            i = j;
        } else if (IsIdentStart(c)) {
            size_t j = i + 1;
            while (j < n && IsIdentChar(static_cast<unsigned char>(s[j]))) j++;
            std::memset(out + i, this->IsKeyword(std::string_view(s + i, j - i)) ? Keyword : Identifier, j - i);
            i = j;
        } else {
            out[i] = IsOperator(c) ? Operator : Default;
            i++;
        }
    }
    return state;
}

void LuaStyler::Index(const std::string& text)
{
    this->lineStarts.clear();
    this->lineStarts.push_back(0);
    const char* data = text.data();
    const size_t n = text.size();
    for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\n', n - (p - data)))) != nullptr;) {
        p++;
        this->lineStarts.push_back(static_cast<size_t>(p - data));
    }
}

size_t LuaStyler::LineStart(int line) const
{
    if (line < 0 || line >= this->GetLineCount()) return line < 0 ? 0 : this->length;
    return this->lineStarts[static_cast<size_t>(line)];
}

size_t LuaStyler::LineEnd(int line) const
{
    if (line < 0) return 0;
    if (line + 1 >= this->GetLineCount()) return this->length;
    return this->lineStarts[static_cast<size_t>(line) + 1] - 1;
}

int LuaStyler::LineFromPosition(size_t position) const
{
    const auto it = std::upper_bound(this->lineStarts.begin(), this->lineStarts.end(), position);
    return std::max(0, static_cast<int>(it - this->lineStarts.begin()) - 1);
}

void LuaStyler::Update(const std::string& text)
{
    this->restyled = 0;
    const std::string& old = this->previous;
    const size_t oldSize = this->keywordsChanged ? 0 : old.size();
    if (!this->keywordsChanged && old.size() == text.size() && old == text) return;

    // The changed span: a common head and tail keep their styles (the head's lines their
    // entry states too).
    size_t head = 0;
    const size_t common = std::min(oldSize, text.size());
    while (head < common && old[head] == text[head]) head++;
    size_t tail = 0;
    while (tail < common - head && old[oldSize - 1 - tail] == text[text.size() - 1 - tail]) tail++;

    const int oldLines = this->keywordsChanged ? 0 : this->GetLineCount();
    this->oldEntryStates.assign(this->entryStates.begin(), this->entryStates.begin() + oldLines);
    const int firstLine = oldLines > 0 ? this->LineFromPosition(head) : 0;

    // Styles of the tail move with it.
    const size_t newSize = text.size();
    if (newSize > this->styles.size()) this->styles.resize(newSize);
    if (tail > 0 && oldSize != newSize) {
        std::memmove(this->styles.data() + newSize - tail, this->styles.data() + oldSize - tail, tail);
    }
    this->length = newSize;
    this->Index(text);
    const int lines = this->GetLineCount();
    this->entryStates.resize(static_cast<size_t>(lines));
    const int lineDelta = lines - oldLines;

    int state = firstLine < oldLines ? this->oldEntryStates[static_cast<size_t>(firstLine)] : 0;
    for (int line = firstLine; line < lines; line++) {
        const size_t start = this->lineStarts[static_cast<size_t>(line)];
        // A line in the unchanged tail entered in the state it had can keep its styles,
        // and so can every line after it.
        const int oldLine = line - lineDelta;
        if (line > firstLine && start > newSize - tail && start > head && oldLine >= 0 && oldLine < oldLines &&
            this->oldEntryStates[static_cast<size_t>(oldLine)] == state) {
            for (int rest = line; rest < lines; rest++) {
                this->entryStates[static_cast<size_t>(rest)] =
                    this->oldEntryStates[static_cast<size_t>(rest - lineDelta)];
            }
            break;
        }
        this->entryStates[static_cast<size_t>(line)] = state;
        const size_t end = this->LineEnd(line);
        // An empty line keeps the state it is entered in.
        if (end > start) state = this->StyleLine(text.data() + start, end - start, state, this->styles.data() + start);
        if (end < newSize) this->styles[end] = Default;  // the line feed
        this->restyled++;
    }
    this->previous.assign(text);
    this->keywordsChanged = false;
}

}  // namespace ui
