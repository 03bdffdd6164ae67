#include "kernel/nObjectFileReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nMemoryGuard.h"
#include "kernel/nObjectCount.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"

namespace {

// What the reader shows of a text from the file in its log line: one line, cut short.
std::string Shown(std::string_view text) {
    std::string s(text.substr(0, 60));
    for (char& c : s) c = (unsigned char)c < 0x20 || c == 0x7f ? '?' : c;
    if (text.size() > s.size()) s += "...";
    return s;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Lua 5.4's lexical rules for what an object file may hold, over text in memory.
class Lexer {
public:
    explicit Lexer(std::string_view text) : t_(text) {}

    int Line() const { return line_; }
    const std::string& Error() const { return error_; }
    bool AtEnd() const { return p_ >= t_.size(); }
    char Peek() const { return p_ < t_.size() ? t_[p_] : '\0'; }
    void Skip() { p_++; }

    // Blanks, line ends and comments; false on an unfinished long comment.
    bool SkipSpace() {
        while (p_ < t_.size()) {
            const char c = t_[p_];
            if (c == '\n' || c == '\r') {
                NewLine();
            } else if (IsSpace(c)) {
                p_++;
            } else if (c == '-' && p_ + 1 < t_.size() && t_[p_ + 1] == '-') {
                p_ += 2;
                if (int level = LongLevel(); level >= 0) {
                    if (!LongBody(level, nullptr, "comment")) return false;
                    continue;
                }
                while (p_ < t_.size() && t_[p_] != '\n' && t_[p_] != '\r') p_++;
            } else {
                break;
            }
        }
        return true;
    }

    std::string_view Name() {
        const size_t start = p_;
        while (p_ < t_.size() && IsNameChar(t_[p_])) p_++;
        return t_.substr(start, p_ - start);
    }

    // A string literal at the current position ('...', "..." or a long bracket).
    bool String(std::string& out) {
        out.clear();
        if (Peek() == '[') {
            const int level = LongLevel();
            if (level < 0) return Fail("a '[' that opens no long string");
            return LongBody(level, &out, "string");
        }
        const char quote = t_[p_++];
        for (;;) {
            if (p_ >= t_.size()) return Fail("an unfinished string");
            const char c = t_[p_];
            if (c == quote) {
                p_++;
                return true;
            }
            if (c == '\n' || c == '\r') return Fail("an unfinished string");
            if (c != '\\') {
                out += c;
                p_++;
                continue;
            }
            p_++;
            if (p_ >= t_.size()) return Fail("an unfinished string");
            const char e = t_[p_];
            switch (e) {
                case 'a': out += '\a'; p_++; break;
                case 'b': out += '\b'; p_++; break;
                case 'f': out += '\f'; p_++; break;
                case 'n': out += '\n'; p_++; break;
                case 'r': out += '\r'; p_++; break;
                case 't': out += '\t'; p_++; break;
                case 'v': out += '\v'; p_++; break;
                case '\\': case '"': case '\'': out += e; p_++; break;
                case '\n': case '\r': out += '\n'; NewLine(); break;
                case 'x': {
                    const int hi = p_ + 1 < t_.size() ? HexValue(t_[p_ + 1]) : -1;
                    const int lo = p_ + 2 < t_.size() ? HexValue(t_[p_ + 2]) : -1;
                    if (hi < 0 || lo < 0) return Fail("a '\\x' escape without two hexadecimal digits");
                    out += char(hi * 16 + lo);
                    p_ += 3;
                    break;
                }
                case 'z':
                    p_++;
                    while (p_ < t_.size() && (IsSpace(t_[p_]) || t_[p_] == '\n' || t_[p_] == '\r')) {
                        if (t_[p_] == '\n' || t_[p_] == '\r') NewLine();
                        else p_++;
                    }
                    break;
                case 'u': {
                    p_++;
                    if (Peek() != '{') return Fail("a '\\u' escape without '{'");
                    p_++;
                    uint64_t v = 0;
                    int digits = 0;
                    for (int h; p_ < t_.size() && (h = HexValue(t_[p_])) >= 0; p_++, digits++) {
                        v = v * 16 + uint64_t(h);
                        if (v > 0x7FFFFFFFu) return Fail("a '\\u' escape past 7FFFFFFF");
                    }
                    if (digits == 0 || Peek() != '}') return Fail("a malformed '\\u' escape");
                    p_++;
                    Utf8(out, uint32_t(v));
                    break;
                }
                default: {
                    if (!IsDigit(e)) return Fail("an escape that Lua does not know");
                    int v = 0;
                    for (int i = 0; i < 3 && p_ < t_.size() && IsDigit(t_[p_]); i++, p_++) v = v * 10 + (t_[p_] - '0');
                    if (v > 255) return Fail("a decimal escape past 255");
                    out += char(v);
                }
            }
        }
    }

    // A numeral as Lua reads one: an integer (hexadecimal ones wrap) or a float.
    bool Numeral(bool& integral, int64_t& i, double& f) {
        const size_t start = p_;
        const char* expo = "Ee";
        if (Peek() == '0' && p_ + 1 < t_.size() && (t_[p_ + 1] == 'x' || t_[p_ + 1] == 'X')) {
            p_ += 2;
            expo = "Pp";
        }
        for (;;) {
            const char c = Peek();
            if (c && (c == expo[0] || c == expo[1])) {
                p_++;
                if (Peek() == '+' || Peek() == '-') p_++;
            } else if (HexValue(c) >= 0 || c == '.') {
                p_++;
            } else {
                break;
            }
        }
        if (IsNameStart(Peek())) p_++;  // a numeral touching a letter is malformed
        const std::string_view text = t_.substr(start, p_ - start);
        if (!Convert(text, integral, i, f)) return Fail("the malformed number '" + Shown(text) + "'");
        return true;
    }

    bool Fail(const std::string& why) {
        if (error_.empty()) error_ = why;
        return false;
    }

private:
    static bool Convert(std::string_view s, bool& integral, int64_t& i, double& f) {
        const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        const std::string_view digits = hex ? s.substr(2) : s;
        if (digits.empty()) return false;
        bool plain = true;
        for (char c : digits) plain = plain && (hex ? HexValue(c) >= 0 : IsDigit(c));
        if (plain && hex) {
            uint64_t v = 0;
            for (char c : digits) v = v * 16 + uint64_t(HexValue(c));
            integral = true;
            i = int64_t(v);
            return true;
        }
        if (plain) {
            uint64_t v = 0;
            bool over = false;
            for (char c : digits) {
                const uint64_t d = uint64_t(c - '0');
                if (v > (uint64_t(INT64_MAX) - d) / 10) over = true;
                v = v * 10 + d;
            }
            if (!over) {
                integral = true;
                i = int64_t(v);
                return true;
            }
        }
        integral = false;
        const char* end = digits.data() + digits.size();
        auto r = std::from_chars(digits.data(), end, f, hex ? std::chars_format::hex : std::chars_format::general);
        if (r.ec == std::errc::result_out_of_range) {
            // Lua's strtod gives the overflowed value (inf) or zero: which one follows from the
            // numeral's order of magnitude.
            const size_t e = digits.find_first_of(hex ? "pP" : "eE");
            const std::string_view mant = digits.substr(0, e);
            long long order = 0;
            bool seen = false;
            const size_t dot = mant.find('.');
            for (size_t k = 0; k < mant.size(); k++) {
                if (k == dot) continue;
                const bool zero = mant[k] == '0';
                if (!seen && !zero) seen = true;
                if (k < dot && seen) order++;
                if (k > dot && !seen) order--;
            }
            long long exp = 0;
            if (e != std::string_view::npos) {
                std::string_view x = digits.substr(e + 1);
                const bool neg = !x.empty() && x[0] == '-';
                if (!x.empty() && (x[0] == '-' || x[0] == '+')) x.remove_prefix(1);
                for (char c : x) exp = std::min<long long>(exp * 10 + (c - '0'), 1000000);
                if (neg) exp = -exp;
            }
            f = (hex ? order * 4 : order) + exp > 0 ? HUGE_VAL : 0.0;
            r.ec = std::errc();
            r.ptr = end;
        }
        return r.ec == std::errc() && r.ptr == end;
    }

    void NewLine() {
        const char c = t_[p_++];
        if (p_ < t_.size() && (t_[p_] == '\n' || t_[p_] == '\r') && t_[p_] != c) p_++;
        line_++;
    }

    // The level of a long bracket "[=*[" at the current position (not consumed past it
    // when there is none), -1 when there is none.
    int LongLevel() {
        if (Peek() != '[') return -1;
        size_t q = p_ + 1;
        while (q < t_.size() && t_[q] == '=') q++;
        if (q >= t_.size() || t_[q] != '[') return -1;
        const int level = int(q - p_ - 1);
        p_ = q + 1;
        return level;
    }

    bool LongBody(int level, std::string* out, const char* what) {
        if (p_ < t_.size() && (t_[p_] == '\n' || t_[p_] == '\r')) NewLine();
        for (;;) {
            if (p_ >= t_.size()) return Fail(std::string("an unfinished long ") + what);
            const char c = t_[p_];
            if (c == ']') {
                size_t q = p_ + 1;
                while (q < t_.size() && t_[q] == '=') q++;
                if (q < t_.size() && t_[q] == ']' && int(q - p_ - 1) == level) {
                    p_ = q + 1;
                    return true;
                }
                if (out) out->append(t_.data() + p_, q - p_);
                p_ = q;
            } else if (c == '\n' || c == '\r') {
                if (out) *out += '\n';
                NewLine();
            } else {
                if (out) *out += c;
                p_++;
            }
        }
    }

    static void Utf8(std::string& out, uint32_t x) {
        if (x < 0x80) {
            out += char(x);
            return;
        }
        char buf[8];
        int n = 1;
        uint32_t mfb = 0x3f;
        do {
            buf[8 - n++] = char(0x80 | (x & 0x3f));
            x >>= 6;
            mfb >>= 1;
        } while (x > mfb);
        buf[8 - n] = char((~mfb << 1) | x);
        out.append(buf + 8 - n, size_t(n));
    }

    std::string_view t_;
    size_t p_ = 0;
    int line_ = 1;
    std::string error_;
};

// The longest text the object writer gives an argument of this kind.
uint64_t WrittenArgBytes(const nArg& a) {
    switch (a.GetType()) {
        case nArg::Int: return nObjectFileReader::WrittenIntBytes;
        case nArg::Float: return nObjectFileReader::WrittenFloatBytes;
        case nArg::String:
        case nArg::Code: return nObjectFileReader::WrittenTextBytes(a.GetS() ? std::strlen(a.GetS()) : 0);
        case nArg::Bool: return 5;
        default: return 3;
    }
}

// Sets data's run for as long as it lives: what the reader makes is charged to data.
class DataRunScope {
public:
    DataRunScope() : outer_(nObjectCount::DataRun()) { nObjectCount::SetDataRun(nObjectCount::NextDataRun()); }
    ~DataRunScope() { nObjectCount::SetDataRun(outer_); }
    DataRunScope(const DataRunScope&) = delete;
    DataRunScope& operator=(const DataRunScope&) = delete;

private:
    uint32_t outer_;
};

}  // namespace

uint64_t nObjectFileReader::WrittenCommandBytes(const char* name, const nArg* args, int count, int depth) {
    uint64_t values = 0;
    for (int i = 0; i < count; i++) values += WrittenArgBytes(args[i]);
    return WrittenLineBytes(std::strlen(name), values, count, depth);
}

bool nObjectFileReader::Fail(int line, std::string why) {
    if (error_.empty()) {
        error_ = std::move(why);
        errorLine_ = line;
    }
    return false;
}

bool nObjectFileReader::Read(const char* fileName, nRoot* root) {
    error_.clear();
    kept_ = 0;
    objects_ = 0;
    const char* name = fileName ? fileName : "";
    nFileServer2* fs = nKernelServer::ks ? nKernelServer::ks->GetFileServer<nFileServer2>() : nullptr;
    if (!fs || !root || !*name) {
        n_printf("nObjectFileReader: '%s' refused: no file name or nothing to load into\n", name);
        return false;
    }
    nFile* file = fs->NewFileObject();
    if (!file->Open(name, "r")) {
        delete file;
        n_printf("nObjectFileReader: cannot read '%s'\n", name);
        return false;
    }
    // The size is known before anything is read: a huge file costs nothing.
    const size_t size = file->GetSize();
    std::string text;
    bool read = size <= format_.limits.fileBytes;
    if (read) {
        text.resize(size);
        read = file->Read(text.data(), size) == size;
    }
    file->Close();
    delete file;
    if (size > format_.limits.fileBytes) {
        error_ = "more than " + std::to_string(format_.limits.fileBytes) + " bytes";
        n_printf("nObjectFileReader: '%s' refused: %zu bytes, more than the %llu it may have\n", name, size,
                 (unsigned long long)format_.limits.fileBytes);
        return false;
    }
    if (!read) {
        error_ = "cannot be read";
        n_printf("nObjectFileReader: cannot read '%s'\n", name);
        return false;
    }
    return ReadText(text, name, root);
}

bool nObjectFileReader::ReadText(std::string_view text, const char* name, nRoot* root) {
    error_.clear();
    errorLine_ = 0;
    kept_ = 0;
    objects_ = 0;
    if (!name) name = "";
    bool ok = root != nullptr;
    if (!ok) Fail(0, "nothing to load into");
    if (ok && text.size() > format_.limits.fileBytes) {
        ok = Fail(0, "more than " + std::to_string(format_.limits.fileBytes) + " bytes");
    }
    // An editor that rewrote the file may have put a byte-order mark before its first line.
    if (ok && text.substr(0, 3) == "\xEF\xBB\xBF") {
        n_printf("nObjectFileReader: '%s': a byte-order mark at its start skipped\n", name);
        text.remove_prefix(3);
    }
    std::vector<Statement> statements;
    ok = ok && Parse(text, statements);
    ok = ok && Build(statements, root);
    if (ok) return true;
    if (errorLine_ > 0) {
        n_printf("nObjectFileReader: '%s' refused: line %d: %s\n", name, errorLine_, error_.c_str());
    } else {
        n_printf("nObjectFileReader: '%s' refused: %s\n", name, error_.c_str());
    }
    return false;
}

bool nObjectFileReader::Parse(std::string_view text, std::vector<Statement>& out) {
    Lexer lx(text);
    auto lexFail = [&] { return Fail(lx.Line(), lx.Error().empty() ? "a broken text" : lx.Error()); };
    // The writer writes an object as "new", "sel", its commands and "up": a file of more
    // calls than that is none of its files, and is refused before the calls take more memory
    // than the objects they could make.
    const Limits& lim = format_.limits;
    const uint64_t perObject = lim.commandsAnObject > UINT64_MAX / 2 ? UINT64_MAX / 2 : lim.commandsAnObject + 3;
    const uint64_t maxCalls = lim.objects >= UINT64_MAX / perObject - 1 ? UINT64_MAX : (lim.objects + 1) * perObject;
    // The writer writes one "new" an object.
    uint64_t news = 0;
    int newLine = 0;
    for (;;) {
        if (!lx.SkipSpace()) return lexFail();
        if (lx.AtEnd()) return true;
        if (lx.Peek() == ';') {
            lx.Skip();
            continue;
        }
        if (out.size() >= maxCalls) return Fail(lx.Line(), "more than " + std::to_string(maxCalls) + " calls");
        if (news > lim.objects) return Fail(newLine, "more than " + std::to_string(lim.objects) + " objects");
        Statement st;
        st.line = lx.Line();
        if (!IsNameStart(lx.Peek())) {
            return Fail(st.line, "'" + Shown(std::string(1, lx.Peek())) + "' where a call may stand");
        }
        st.name = std::string(lx.Name());
        // What the file may call: the three statements and the declared commands.
        const Command* declared = nullptr;
        for (const Command& c : format_.commands) {
            if (st.name == c.name) declared = &c;
        }
        const bool statement = st.name == "new" || st.name == "sel" || st.name == "up";
        if (!statement && !declared) return Fail(st.line, "'" + Shown(st.name) + "', which a save may not call");
        // Each takes the values it is declared with, and no other.
        const char* inputs = st.name == "new" ? "ss" : st.name == "sel" ? "s" : st.name == "up" ? "" : declared->inputs;
        const size_t count = std::strlen(inputs);
        if (!lx.SkipSpace()) return lexFail();
        if (lx.Peek() != '(') return Fail(lx.Line(), "'" + Shown(st.name) + "' without its '('");
        lx.Skip();
        if (!lx.SkipSpace()) return lexFail();
        if (lx.Peek() == ')') {
            lx.Skip();
        } else {
            for (;;) {
                Value v;
                if (!lx.SkipSpace()) return lexFail();
                const char c = lx.Peek();
                if (c == '\'' || c == '"' || c == '[') {
                    v.kind = Value::String;
                    if (!lx.String(v.s)) return lexFail();
                    if (v.s.size() > format_.limits.textBytes) {
                        return Fail(lx.Line(), "a text of more than " + std::to_string(format_.limits.textBytes) + " bytes");
                    }
                } else if (IsNameStart(c)) {
                    const std::string_view word = lx.Name();
                    if (word == "true" || word == "false") {
                        v.kind = Value::Bool;
                        v.b = word == "true";
                    } else if (word == "nil") {
                        v.kind = Value::Nil;
                    } else {
                        return Fail(lx.Line(), "'" + Shown(word) + "', which is no value");
                    }
                } else {
                    // [-]numeral [ / [-]numeral ]: numbers and the writer's 0/0, 1/0, -1/0.
                    auto number = [&](bool& integral, int64_t& i, double& f) {
                        bool negative = false;
                        for (;;) {
                            if (!lx.SkipSpace()) return false;
                            if (lx.Peek() != '-') break;
                            lx.Skip();
                            negative = !negative;
                        }
                        const char d = lx.Peek();
                        if (!IsDigit(d) && d != '.') return lx.Fail("something that is no value");
                        if (!lx.Numeral(integral, i, f)) return false;
                        if (negative) {
                            if (integral) i = int64_t(0 - uint64_t(i));
                            else f = -f;
                        }
                        return true;
                    };
                    bool integral = false;
                    int64_t i = 0;
                    double f = 0.0;
                    if (!number(integral, i, f)) return lexFail();
                    if (!lx.SkipSpace()) return lexFail();
                    if (lx.Peek() == '/') {
                        lx.Skip();
                        bool integral2 = false;
                        int64_t i2 = 0;
                        double f2 = 0.0;
                        if (!number(integral2, i2, f2)) return lexFail();
                        f = (integral ? double(i) : f) / (integral2 ? double(i2) : f2);
                        integral = false;
                    }
                    v.kind = integral ? Value::Int : Value::Float;
                    v.integral = integral;
                    v.i = i;
                    v.f = integral ? double(i) : f;
                }
                // A value past the declared ones refuses the call at once: a call of millions
                // of values would take many times the file's size before its count is seen.
                if (st.args.size() >= count) {
                    return Fail(st.line, "'" + st.name + "' with more than " + std::to_string(count) + " values");
                }
                st.args.push_back(std::move(v));
                if (!lx.SkipSpace()) return lexFail();
                if (lx.Peek() == ',') {
                    lx.Skip();
                    continue;
                }
                if (lx.Peek() == ')') {
                    lx.Skip();
                    break;
                }
                return Fail(lx.Line(), "'" + Shown(st.name) + "' with something other than values between its '(' and ')'");
            }
        }
        if (st.args.size() != count) {
            return Fail(st.line, "'" + st.name + "' with " + std::to_string(st.args.size()) + " values, not " +
                                     std::to_string(count));
        }
        for (size_t k = 0; k < count; k++) {
            nArg a;
            if (statement ? st.args[k].kind != Value::String : !ToArg(st.args[k], inputs[k], a)) {
                return Fail(st.line, "'" + st.name + "' with a value of another type at place " + std::to_string(k + 1));
            }
            // A command takes its text up to the first NUL: the rest would be lost unseen.
            if (st.args[k].kind == Value::String && st.args[k].s.find('\0') != std::string::npos) {
                return Fail(st.line, "'" + st.name + "' with a text holding a NUL byte at place " + std::to_string(k + 1));
            }
        }
        if (st.name == "new") {
            news++;
            newLine = st.line;
            bool known = false;
            for (const std::string& c : format_.classes) known = known || c == st.args[0].s;
            if (!known) return Fail(st.line, "'new' of the class '" + Shown(st.args[0].s) + "', which a save may not make");
        }
        out.push_back(std::move(st));
    }
}

bool nObjectFileReader::ToArg(const Value& v, char letter, nArg& arg) {
    switch (nArg::TypeOfLetter(letter)) {
        case nArg::Int:
            if (v.kind == Value::Int) arg.SetI(v.i > INT32_MAX ? INT32_MAX : v.i < INT32_MIN ? INT32_MIN : int32_t(v.i));
            else if (v.kind == Value::Float) arg.SetI(n_saturate_int(std::trunc(v.f)));
            else return false;
            return true;
        case nArg::Float:
            if (v.kind != Value::Int && v.kind != Value::Float) return false;
            arg.SetF(float(v.kind == Value::Int ? double(v.i) : v.f));
            return true;
        case nArg::String:
        case nArg::Code: {
            // A number stands for its text, as the script binding takes it.
            std::string text;
            if (v.kind == Value::String) {
                text = v.s;
            } else if (v.kind == Value::Int) {
                text = std::to_string(v.i);
            } else if (v.kind == Value::Float) {
                char buf[64];
                std::snprintf(buf, sizeof(buf), "%.14g", v.f);
                text = buf;
                if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
            } else {
                return false;
            }
            if (letter == 'c') arg.SetC(text.c_str());
            else arg.SetS(text.c_str());
            return true;
        }
        case nArg::Bool:
            arg.SetB(v.kind != Value::Nil && !(v.kind == Value::Bool && !v.b));
            return true;
        default: return false;
    }
}

bool nObjectFileReader::Build(const std::vector<Statement>& statements, nRoot* root) {
    nKernelServer* ks = nKernelServer::ks;
    const Limits& lim = format_.limits;
    // What the file builds is data's: its values keep data's origin, its objects are charged.
    nScriptServer::OriginScope origin(nScriptServer::Origin::Data);
    DataRunScope run;
    nRoot* cwd = root;
    int depth = 0;
    std::unordered_map<const nRoot*, uint64_t> commands;
    std::unordered_map<const nRoot*, std::unordered_set<std::string>> named;
    std::unordered_set<const nRoot*> made;
    // An object's path below `root`, for the log line.
    auto pathOf = [root](const nRoot* o) {
        std::string path;
        for (; o && o != root; o = o->GetParent()) {
            path = std::string(o->GetName() ? o->GetName() : "") + (path.empty() ? "" : "/") + path;
        }
        return path;
    };
    kept_ = HeaderBytes;
    for (size_t n = 0; n < statements.size(); n++) {
        const Statement& st = statements[n];
        if ((n & 1023) == 0 && !nMemoryGuard::Allows()) return Fail(st.line, "the game's memory is short");
        if (st.name == "new") {
            const std::string& cls = st.args[0].s;
            const std::string name = st.args[1].s.c_str();
            if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
                return Fail(st.line, "'new' of '" + Shown(name) + "', a path, not a name");
            }
            if (name.size() > lim.nameBytes) {
                return Fail(st.line, "the name '" + Shown(name) + "' of more than " + std::to_string(lim.nameBytes) + " bytes");
            }
            if (depth + 1 > lim.depth) return Fail(st.line, "an object more than " + std::to_string(lim.depth) + " levels deep");
            if (!nScriptServer::MayNameIn(cwd, name, false)) {
                return Fail(st.line, "the name '" + Shown(name) + "' (a name holds only letters, digits, '_', '-' and '.')");
            }
            if (nRoot* there = cwd->FindChild(name)) {
                if (std::strcmp(there->GetClass()->GetName(), cls.c_str()) != 0) {
                    return Fail(st.line, "'new' of '" + name + "' of class '" + cls + "' where one of class '" +
                                             there->GetClass()->GetName() + "' is");
                }
                // The writer writes an object once: a second copy would be read into the
                // first, the later values winning unseen.
                if (made.count(there)) return Fail(st.line, "a second 'new' of '" + Shown(name) + "' in one place");
                continue;
            }
            if (++objects_ > lim.objects) return Fail(st.line, "more than " + std::to_string(lim.objects) + " objects");
            const nClass* c = ks->FindClass(cls.c_str());
            if (!c || c->IsServerKind()) return Fail(st.line, "the class '" + cls + "' is not there to make");
            ks->PushCwd(cwd);
            nRoot* obj = ks->NewNoFail(cls.c_str(), name.c_str());
            ks->PopCwd();
            if (!obj) return Fail(st.line, "'" + name + "' of class '" + cls + "' could not be made");
            made.insert(obj);
            kept_ += WrittenObjectBytes(cls, name, depth);
        } else if (st.name == "sel") {
            const std::string& path = st.args[0].s;
            if (path.empty() || path[0] == '/') return Fail(st.line, "selecting '" + Shown(path) + "', outside the loaded objects");
            nRoot* at = cwd;
            int d = depth;
            for (size_t pos = 0; pos <= path.size();) {
                const size_t end = std::min(path.find('/', pos), path.size());
                const std::string part = path.substr(pos, end - pos);
                pos = end + 1;
                if (part == ".") continue;
                if (part == "..") {
                    if (at == root) return Fail(st.line, "selecting '" + Shown(path) + "', outside the loaded objects");
                    at = at->GetParent();
                    d--;
                    continue;
                }
                nRoot* next = part.empty() ? nullptr : at->FindChild(part);
                if (!next) return Fail(st.line, "selecting '" + Shown(path) + "', which is not there");
                at = next;
                d++;
            }
            cwd = at;
            depth = d;
        } else if (st.name == "up") {
            if (cwd == root) return Fail(st.line, "'up' above the loaded objects");
            cwd = cwd->GetParent();
            depth--;
        } else {
            if (++commands[cwd] > lim.commandsAnObject) {
                return Fail(st.line, "more than " + std::to_string(lim.commandsAnObject) + " commands for one object");
            }
            const Command* declared = nullptr;
            for (const Command& c : format_.commands) {
                if (st.name == c.name) declared = &c;
            }
            // Of two lines for one value, the later would win unseen. The name as the call
            // takes it: a number stands for its text.
            nArg first;
            if (declared && declared->setsNamed && ToArg(st.args[0], declared->inputs[0], first) &&
                !named[cwd].insert(first.GetS() ? first.GetS() : "").second) {
                return Fail(st.line, "the store '" + Shown(pathOf(cwd)) + "' sets '" +
                                         Shown(first.GetS() ? first.GetS() : "") + "' a second time");
            }
            if (!Call(st, cwd, depth)) return false;
        }
        if (kept_ > lim.keptBytes) {
            return Fail(st.line, "what it holds would be written again as more than " + std::to_string(lim.keptBytes) +
                                     " bytes");
        }
    }
    // The writer closes every object it selects: a file that ends inside one was cut short,
    // and what it lost is unknown.
    if (cwd != root) {
        return Fail(statements.empty() ? 0 : statements.back().line,
                    "it ends inside '" + Shown(pathOf(cwd)) + "', which it never closes");
    }
    // What data made and keeps, this file and what lived before, stays within data's bounds.
    if (nObjectCount::DataLiveCounted() > nObjectCount::LiveObjects) {
        return Fail(0, "it would leave more than " + std::to_string(nObjectCount::LiveObjects) + " objects that data made");
    }
    if (nObjectCount::DataLiveBytes() > nObjectCount::LiveBytesBound()) {
        return Fail(0, "it would leave objects of more than " + std::to_string(nObjectCount::LiveBytesBound()) +
                           " bytes that data made");
    }
    return true;
}

bool nObjectFileReader::Call(const Statement& st, nRoot* obj, int depth) {
    const Command* declared = nullptr;
    for (const Command& c : format_.commands) {
        if (st.name == c.name) declared = &c;
    }
    const char* cls = obj->GetClass() ? obj->GetClass()->GetName() : "?";
    bool classOk = false;
    for (const std::string& c : format_.classes) classOk = classOk || c == cls;
    nCmdProto* proto = classOk && obj->GetClass() ? obj->GetClass()->FindCmdByName(st.name.c_str()) : nullptr;
    if (!proto) return Fail(st.line, "'" + st.name + "', which is no command of class '" + cls + "'");
    const int count = int(st.args.size());
    bool same = proto->GetNumOutArgs() == 0 && proto->GetNumInArgs() == count;
    for (int i = 0; same && i < count; i++) same = proto->GetInType(i) == nArg::TypeOfLetter(declared->inputs[i]);
    if (!same) return Fail(st.line, "'" + st.name + "' of class '" + cls + "' takes other values than a save gives");
    nArg args[nCmd::MaxArgs];
    if (count > nCmd::MaxArgs) return Fail(st.line, "'" + st.name + "' with too many values");
    for (int i = 0; i < count; i++) ToArg(st.args[size_t(i)], declared->inputs[i], args[i]);
    std::string why;
    if (declared->check && !declared->check(obj, args, count, why)) return Fail(st.line, "'" + st.name + "': " + why);
    nCmd* cmd = proto->NewCmd();
    for (int i = 0; i < count; i++) *cmd->In() = args[i];
    const bool ran = obj->Dispatch(cmd);
    proto->RelCmd(cmd);
    if (!ran) return Fail(st.line, "'" + st.name + "' did not run");
    if (declared->took && !declared->took(obj, args, count, why)) return Fail(st.line, "'" + st.name + "': " + why);
    kept_ += WrittenCommandBytes(st.name.c_str(), args, count, depth);
    return true;
}
