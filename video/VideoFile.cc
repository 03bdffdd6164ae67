#include "video/VideoFile.h"

#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"

namespace {

// The decoder's byte source over an open file.
class FileSource : public video::Source {
public:
    explicit FileSource(nFile* file) : file(file) {}
    ~FileSource() override {
        file->Close();
        delete file;
    }
    int Read(uint8_t* buffer, int size) override {
        return size > 0 ? int(file->Read(buffer, size_t(size))) : 0;
    }
    int64_t Seek(int64_t offset, int origin) override {
        const int from = origin == 1 ? nFile::CURRENT : origin == 2 ? nFile::END : nFile::START;
        return file->Seek(offset, from) ? int64_t(file->Tell()) : -1;
    }
    int64_t Size() override { return int64_t(file->GetSize()); }

private:
    nFile* file;
};

}  // namespace

namespace VideoFile {

std::unique_ptr<video::Decoder> Open(nFileServer2* fs, const char* name, std::string& error) {
    if (!fs) {
        error = "no file server";
        return nullptr;
    }
    nFile* file = fs->NewFileObject();
    if (!file->Open(name, "rb")) {
        delete file;
        error = "the file cannot be opened";
        return nullptr;
    }
    return video::Decoder::Open(std::make_unique<FileSource>(file), error);
}

}  // namespace VideoFile
