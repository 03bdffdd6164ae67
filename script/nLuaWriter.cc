#include "script/nLuaWriter.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"
#include "platform/system/Disk.h"

namespace {

nFileServer2* FileServer() {
    nFileServer2* fs = nKernelServer::ks ? nKernelServer::ks->GetFileServer<nFileServer2>() : nullptr;
    if (!fs) nKernelServer::FatalError("Aborting.");
    return fs;
}

// The on-disk path of a file-server path (assigns replaced, letter case resolved).
std::string DiskPath(const std::string& path) {
    return sys::Disk::Resolve(FileServer()->ManglePath(path.c_str()));
}

std::string ClassOf(const nRoot* obj) {
    return obj && obj->GetClass() ? obj->GetClass()->GetName() : "nroot";
}

std::string NameOf(const nRoot* obj) {
    const char* name = obj ? obj->GetName() : nullptr;
    return name ? name : "";
}

void AppendEscaped(std::string& out, const char* text, char quote) {
    for (const char* p = text; p && *p; p++) {
        switch (*p) {
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default:
                if (quote && *p == quote) out += '\\';
                out += *p;
        }
    }
}

}  // namespace

nLuaWriter::~nLuaWriter() {
    while (!open_.empty()) AbortWrite(open_.back().file);
}

bool nLuaWriter::IsIdentifier(const char* s) {
    if (!s || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (const char* p = s; *p; p++) {
        if (!(std::isalnum(static_cast<unsigned char>(*p)) || *p == '_')) return false;
    }
    return true;
}

void nLuaWriter::AppendQuoted(std::string& out, const char* text, char quote) {
    out += quote;
    AppendEscaped(out, text, quote);
    out += quote;
}

void nLuaWriter::SetDepth(int depth) {
    depth_ = depth;
    indent_.assign(depth > 0 ? static_cast<size_t>(depth) * 2 : 0, ' ');
}

nLuaWriter::OpenFile* nLuaWriter::FindOpen(nFile* file) {
    for (OpenFile& f : open_) {
        if (f.file == file) return &f;
    }
    return nullptr;
}

bool nLuaWriter::Put(nFile* file, const std::string& text) {
    OpenFile* of = FindOpen(file);
    if (!of) {
        n_error("nLuaServer2: writing to a file that no save has open\n");
        return false;
    }
    if (of->failed) return false;
    of->pending += text;
    return of->pending.size() < FlushSize || Flush(*of);
}

bool nLuaWriter::Flush(OpenFile& of) {
    if (of.failed) return false;
    size_t size = of.pending.size();
    if (size > 0 && of.file->Write(of.pending.data(), size) != size) {
        n_error("nLuaServer2: could not write to '%s'\n", of.temp.c_str());
        of.failed = true;
    }
    of.pending.clear();
    return !of.failed;
}

nFile* nLuaWriter::BeginWrite(const char* fileName, nRoot* obj, const char* parserClass) {
    if (!fileName || !fileName[0] || !obj) {
        n_error("nLuaServer2: nothing to write (no file name or no object)\n");
        return nullptr;
    }
    std::string target = fileName;
    // A name refused (data's text writes nothing, an unknown assign) is logged once here, not
    // once for each temporary name below.
    if (!FileServer()->MayOpen(fileName, true) || FileServer()->ManglePath(fileName).empty()) return nullptr;
    // Two open saves of one target must not share a temporary file.
    auto inUse = [this](const std::string& t) {
        for (const OpenFile& f : open_) {
            if (f.temp == t) return true;
        }
        return false;
    };
    std::string temp = target + ".tmp";
    nFile* file = FileServer()->NewFileObject();
    // Made new: a link, a FIFO or an empty folder that stands under the temporary name is
    // taken away, never written through; a folder that holds entries gives way to the next
    // name, so no folder can stop every save.
    for (unsigned n = 1; inUse(temp) || !file->Open(temp.c_str(), "n"); n++) {
        if (n > MaxTempNames) {
            n_error("nLuaServer2: cannot open '%s' for writing\n", temp.c_str());
            delete file;
            return nullptr;
        }
        temp = target + ".tmp" + std::to_string(n);
    }
    // The outer save's depth is kept only once this save really begins.
    open_.push_back({file, target, temp, false, depth_});
    SetDepth(0);

    std::string header = "-- ---";
    header += "-- $parser:";
    header += parserClass ? parserClass : "";
    header += "$ $class:";
    header += ClassOf(obj);
    header += "$";
    header += "-- ---";
    header += '\n';
    Put(file, header);
    return file;
}

bool nLuaWriter::SelectStep(nFile* file, nRoot* obj, nRoot* cwd) {
    if (obj == cwd) return true;
    SetDepth(depth_ + 1);
    std::string path = cwd ? cwd->GetRelPath(obj) : obj->GetFullName();
    std::string line = indent_ + "sel(";
    AppendQuoted(line, path.c_str(), '\'');
    line += ")\n";
    return Put(file, line);
}

bool nLuaWriter::WriteBeginNewObject(nFile* file, nRoot* obj, nRoot* cwd) {
    if (!obj) return false;
    SetDepth(depth_);
    std::string name = NameOf(obj);
    std::string text = "\n";
    text += indent_ + "-- ";
    AppendEscaped(text, name.c_str(), 0);
    text += '\n';
    text += indent_ + "new(";
    AppendQuoted(text, ClassOf(obj).c_str(), '\'');
    text += ", ";
    AppendQuoted(text, name.c_str(), '\'');
    text += ")\n";
    bool ok = Put(file, text);
    return SelectStep(file, obj, cwd) && ok;
}

bool nLuaWriter::WriteBeginObjectCmd(nFile* file, nRoot* obj, nRoot* cwd, nCmd* cmd) {
    if (!obj) return false;
    bool ok = cmd ? WriteObjectCmd(file, cmd) : true;
    return SelectStep(file, obj, cwd) && ok;
}

bool nLuaWriter::WriteBeginSelObject(nFile* file, nRoot* obj, nRoot* cwd) {
    if (!obj) return false;
    return SelectStep(file, obj, cwd);
}

void nLuaWriter::AppendArg(std::string& out, nCmd* cmd) {
    nArg* arg = cmd->In();
    switch (arg->GetType()) {
        case nArg::Int: out += std::to_string(arg->GetI()); break;
        case nArg::Float: {
            double v = arg->GetF();
            // Lua reads "inf" or "nan" as an unset global; these expressions give the
            // values back.
            if (std::isnan(v)) {
                out += "0/0";
            } else if (std::isinf(v)) {
                out += v > 0 ? "1/0" : "-1/0";
            } else {
                // Always the C locale's '.', whatever the process locale.
                char buf[400];
                auto res = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::fixed, 8);
                out.append(buf, res.ptr);
            }
            break;
        }
        case nArg::String: AppendQuoted(out, arg->GetS(), '"'); break;
        case nArg::Bool: out += arg->GetB() ? "true" : "false"; break;
        case nArg::Object: {
            nRoot* o = arg->GetO();
            if (o) AppendQuoted(out, o->GetFullName().c_str(), '"');
            else out += "nil";
            break;
        }
        default: nKernelServer::FatalError("Unkown ARGTYPE");
    }
}

bool nLuaWriter::WriteCmd(std::string& target, nCmd* cmd) {
    if (!cmd) return false;
    nCmdProto* proto = cmd->GetProto();
    cmd->Rewind();
    target += indent_;
    target += proto->GetName();
    target += "( ";
    for (int i = 0; i < proto->GetNumInArgs(); i++) {
        if (i > 0) target += ", ";
        AppendArg(target, cmd);
    }
    target += " )\n";
    cmd->Rewind();
    return true;
}

bool nLuaWriter::WriteCmd(nString& target, nCmd* cmd) {
    std::string line;
    if (!WriteCmd(line, cmd)) return false;
    // A text capture stands on its own: the indent of a save open meanwhile is not its.
    target.Append(line.data() + indent_.size(), line.size() - indent_.size());
    return true;
}

bool nLuaWriter::WriteObjectCmd(nFile* file, nCmd* cmd) {
    std::string line;
    return WriteCmd(line, cmd) && Put(file, line);
}

bool nLuaWriter::WriteEndObject(nFile* file, nRoot* obj, nRoot* cwd) {
    SetDepth(depth_ - 1);
    if (obj == cwd) return true;
    if (!obj || !cwd) return false;
    std::string path = obj->GetRelPath(cwd);
    std::string line = indent_;
    if (path == "..") {
        line += "up()";
    } else {
        line += "sel(";
        AppendQuoted(line, path.c_str(), '\'');
        line += ")";
    }
    line += '\n';
    return Put(file, line);
}

nLuaWriter::OpenFile nLuaWriter::Finish(nFile* file) {
    size_t i = 0;
    while (open_[i].file != file) i++;
    OpenFile done = open_[i];
    open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
    // The entry above (if any) now returns to the depth this one saved.
    if (i < open_.size()) {
        open_[i].outerDepth = done.outerDepth;
    } else {
        SetDepth(done.outerDepth);
    }
    file->Close();
    delete file;
    return done;
}

bool nLuaWriter::EndWrite(nFile* file) {
    OpenFile* of = FindOpen(file);
    if (!of) {
        n_error("nLuaServer2: EndWrite on a file that no save has open\n");
        return false;
    }
    // An inner save that is still open holds this save's depth.
    int depth = of == &open_.back() ? depth_ : (of + 1)->outerDepth;
    std::string trailer = "\n";
    trailer += "-- ---";
    trailer += "-- EOF";
    trailer += '\n';
    Put(file, trailer);
    Flush(*of);

    OpenFile done = Finish(file);
    bool ok = !done.failed;
    if (depth != 0) {
        n_error("nLuaServer2: '%s': objects begun and not ended, not saved\n", done.target.c_str());
        ok = false;
    }
    std::string temp = DiskPath(done.temp);
    if (ok && !sys::Disk::Replace(temp, DiskPath(done.target))) {
        n_error("nLuaServer2: cannot replace '%s' with the new save\n", done.target.c_str());
        ok = false;
    }
    if (!ok) std::remove(temp.c_str());
    return ok;
}

void nLuaWriter::AbortWrite(nFile* file) {
    if (!FindOpen(file)) return;
    OpenFile done = Finish(file);
    std::remove(DiskPath(done.temp).c_str());
}
