#include "storage/Strategy.h"

#include "storage/StorageContext.h"

namespace tavrin::storage {

// Every operation a strategy does not override is one that must not reach it:
// it is reported and answered with a fixed value, changing nothing.

void Strategy::Unavailable(const char* operation) { ctx.ReportInternalError(ClassName(), operation); }

bool Strategy::FreeAfterAudio() const { return ctx.trailingBytes <= 1; }

Status Strategy::Create(const std::string&, std::uint16_t, std::uint32_t, std::uint16_t, std::uint16_t) {
    Unavailable("Create");
    return Status::InternalError;
}

Status Strategy::Select(const std::string&) {
    Unavailable("Select");
    return Status::InternalError;
}

bool Strategy::SeekToSample(std::uint32_t) {
    Unavailable("SeekToSample");
    return false;
}

std::uint32_t Strategy::CurrentReadSample() {
    Unavailable("CurrentReadSample");
    return 0;
}

Status Strategy::ReadData(std::uint8_t*, std::uint32_t) {
    Unavailable("ReadData");
    return Status::InternalError;
}

std::uint32_t Strategy::CurrentWriteSample() {
    Unavailable("CurrentWriteSample");
    return 0;
}

Status Strategy::BackTrack(std::uint32_t) {
    Unavailable("BackTrack");
    return Status::InternalError;
}

std::uint32_t Strategy::SpaceLeft() {
    Unavailable("SpaceLeft");
    return 0;
}

Status Strategy::WriteData(const std::uint8_t*, std::uint32_t) {
    Unavailable("WriteData");
    return Status::InternalError;
}

Status Strategy::Close() {
    Unavailable("Close");
    return Status::InternalError;
}

Status Strategy::End() {
    Unavailable("End");
    return Status::InternalError;
}

bool Strategy::Append() {
    Unavailable("Append");
    return false;
}

bool Strategy::Overwrite() {
    Unavailable("Overwrite");
    return false;
}

bool Strategy::Insert() {
    Unavailable("Insert");
    return false;
}

Status Strategy::Open(const std::string&) {
    Unavailable("Open");
    return Status::InternalError;
}

Status Strategy::Write(const void*, std::uint32_t) {
    Unavailable("Write");
    return Status::InternalError;
}

Status Strategy::Read(void*, std::uint32_t, std::uint32_t& count) {
    count = 0;
    Unavailable("Read");
    return Status::InternalError;
}

Status Strategy::Expect(const void*, std::uint32_t) {
    Unavailable("Expect");
    return Status::InternalError;
}

bool Strategy::SeekTo(std::uint32_t) {
    Unavailable("SeekTo");
    return false;
}

std::uint32_t Strategy::ReadPosition() {
    Unavailable("ReadPosition");
    return 0;
}

}  // namespace tavrin::storage
