#include "kernel/nArg.h"

#include <cstdlib>
#include <cstring>

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"

void nArg::TypeMismatch(Type wanted) const {
    char where[256];
    nCmd::DescribeRunning(this, where, sizeof(where));
    nKernelServer::FatalError("Command check: '%c' read from a value of type '%c' (%s)\n", LetterOfType(wanted),
                              LetterOfType(type_), where);
}

nArg& nArg::operator=(const nArg& other) {
    if (this == &other) return *this;
    if (other.type_ == String || other.type_ == Code) {
        SetText(other.type_, other.value_.s);
    } else {
        Reset();
        type_ = other.type_;
        value_ = other.value_;
    }
    return *this;
}

void nArg::FreeText() { std::free(value_.s); }

void nArg::SetS(const char* text) { SetText(String, text); }

void nArg::SetC(const char* text) { SetText(Code, text); }

void nArg::SetText(Type type, const char* text) {
    char* oldHeap = (type_ == String || type_ == Code) && value_.s != inline_ && !borrowed_ ? value_.s : nullptr;
    size_t len = text ? std::strlen(text) : 0;
    // A heap text keeps its room in the unused inline buffer, so a text that fits is
    // written over the old one: arguments set every frame then allocate nothing.
    if (text && oldHeap && len >= InlineSize) {
        size_t room;
        std::memcpy(&room, inline_, sizeof(room));
        if (len < room) {
            std::memmove(oldHeap, text, len + 1);
            type_ = type;
            return;
        }
    }
    // Copied before the old text is freed: `text` may be this argument's own text.
    char* copy = nullptr;
    if (text) {
        if (len < InlineSize) {
            std::memmove(inline_, text, len + 1);
            copy = inline_;
        } else {
            copy = static_cast<char*>(std::malloc(len + 1));
            if (copy) {
                std::memcpy(copy, text, len + 1);
                size_t room = len + 1;
                std::memcpy(inline_, &room, sizeof(room));
            }
        }
    }
    std::free(oldHeap);
    borrowed_ = false;
    type_ = type;
    value_.s = copy;
}

nArg::Type nArg::TypeOfLetter(char letter) {
    switch (letter) {
        case 'i': return Int;
        case 'f': return Float;
        case 's': return String;
        case 'b': return Bool;
        case 'o': return Object;
        case 'c': return Code;
        default: return Void;
    }
}

char nArg::LetterOfType(Type type) {
    switch (type) {
        case Int: return 'i';
        case Float: return 'f';
        case String: return 's';
        case Bool: return 'b';
        case Object: return 'o';
        case Code: return 'c';
        default: return 'v';
    }
}
