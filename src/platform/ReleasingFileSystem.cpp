#include "platform/ReleasingFileSystem.h"

#include <utility>

namespace tavrin::platform {
namespace {

// A mapping that keeps the file it was made from open while it lives.
class HoldingMapping : public Mapping {
public:
    HoldingMapping(std::unique_ptr<File> held, std::unique_ptr<Mapping> mapped)
        : file(std::move(held)), mapping(std::move(mapped)) {}
    ~HoldingMapping() override { mapping.reset(); }  // before the file, as a mapping must go

    std::uint8_t* data() override { return mapping->data(); }
    std::uint32_t size() const override { return mapping->size(); }
    bool flush(std::uint32_t offset, std::uint32_t length) override { return mapping->flush(offset, length); }
    void release(std::uint32_t offset, std::uint32_t length) override { mapping->release(offset, length); }

private:
    std::unique_ptr<File> file;
    std::unique_ptr<Mapping> mapping;
};

// A file that is opened for each operation and closed after it. Only the
// position lives between operations.
class ReleasedFile : public File {
public:
    ReleasedFile(FileSystem& files, std::string filePath, OpenMode mode, bool throughWrites)
        : fs(files), path(std::move(filePath)), writeThrough(throughWrites) {
        // The file exists now: opening it again never creates one anew.
        again = mode == OpenMode::ReadWriteCreate ? OpenMode::ReadWrite : mode;
    }

    bool read(void* destination, std::uint32_t n, std::uint32_t& got) override {
        got = 0;
        const auto file = AtPosition();
        if (!file || !file->read(destination, n, got)) return false;
        position += got;
        return true;
    }
    bool write(const void* source, std::uint32_t n, std::uint32_t& written) override {
        written = 0;
        const auto file = AtPosition();
        if (!file || !file->write(source, n, written)) return false;
        position += written;
        return true;
    }
    bool seek(std::uint32_t offset) override {
        position = offset;
        return true;
    }
    std::uint32_t tell() const override { return position; }
    bool size(std::uint32_t& bytes) override {
        const auto file = fs.open(path, again, writeThrough);
        return file && file->size(bytes);
    }
    bool setLength(std::uint32_t length) override {
        const auto file = fs.open(path, again, writeThrough);
        return file && file->setLength(length);
    }
    std::unique_ptr<Mapping> map(std::uint32_t offset, std::uint32_t length, bool writable) override {
        auto file = fs.open(path, again, writeThrough);
        if (!file) return nullptr;
        auto mapping = file->map(offset, length, writable);
        if (!mapping) return nullptr;
        return std::make_unique<HoldingMapping>(std::move(file), std::move(mapping));
    }

    bool sync() override {
        const auto file = fs.open(path, again, writeThrough);
        return file && file->sync();
    }
    // A file being written keeps one handle for the syncs to come: a recording
    // holds its medium anyway, and the engine thread must not wait for a sync.
    void syncSoon() override {
        if (!writing) writing = fs.open(path, again, writeThrough);
        if (writing) writing->syncSoon();
    }
    bool watchSyncs(std::shared_ptr<SyncWatcher> watcher) override {
        if (!writing) writing = fs.open(path, again, writeThrough);
        return writing && writing->watchSyncs(std::move(watcher));
    }
    // A lock lives with a handle: the one that holds it stays open.
    bool tryLock() override {
        if (locked) return true;
        auto file = fs.open(path, again, writeThrough);
        if (!file || !file->tryLock()) return false;
        locked = std::move(file);
        return true;
    }
    std::optional<FileIdentity> identity() override {
        const auto file = fs.open(path, again, writeThrough);
        return file ? file->identity() : std::nullopt;
    }

private:
    std::unique_ptr<File> AtPosition() {
        auto file = fs.open(path, again, writeThrough);
        if (!file || !file->seek(position)) return nullptr;
        return file;
    }

    FileSystem& fs;
    std::string path;
    bool writeThrough;
    OpenMode again = OpenMode::ReadOnly;
    std::uint32_t position = 0;
    std::unique_ptr<File> writing;
    std::unique_ptr<File> locked;
};

}  // namespace

ReleasingFileSystem::ReleasingFileSystem(FileSystem& innerFiles, std::function<bool(const std::string&)> released)
    : inner(innerFiles), releases(std::move(released)) {}

std::unique_ptr<File> ReleasingFileSystem::open(const std::string& path, OpenMode mode, bool writeThrough) {
    auto file = inner.open(path, mode, writeThrough);
    if (!file || !releases(path)) return file;
    // Opened once as asked (creating the file, refusing a folder or a
    // missing one), then let go of.
    file.reset();
    return std::make_unique<ReleasedFile>(inner, path, mode, writeThrough);
}

std::optional<std::uint64_t> ReleasingFileSystem::freeSpace(const std::string& folder) {
    return inner.freeSpace(folder);
}

bool ReleasingFileSystem::exists(const std::string& path) { return inner.exists(path); }

bool ReleasingFileSystem::isDirectory(const std::string& path) { return inner.isDirectory(path); }

bool ReleasingFileSystem::remove(const std::string& path) { return inner.remove(path); }

bool ReleasingFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    return inner.moveNoReplace(from, to);
}

bool ReleasingFileSystem::moveReplacing(const std::string& from, const std::string& to) {
    return inner.moveReplacing(from, to);
}

bool ReleasingFileSystem::createDirectory(const std::string& path) { return inner.createDirectory(path); }

bool ReleasingFileSystem::syncFolder(const std::string& folder) { return inner.syncFolder(folder); }

std::optional<std::vector<DirectoryEntry>> ReleasingFileSystem::list(const std::string& folder) {
    return inner.list(folder);
}

std::optional<std::vector<DirectoryEntry>> ReleasingFileSystem::listNames(const std::string& folder) {
    return inner.listNames(folder);
}

std::optional<DirectoryEntry> ReleasingFileSystem::entry(const std::string& path) { return inner.entry(path); }

}  // namespace tavrin::platform
