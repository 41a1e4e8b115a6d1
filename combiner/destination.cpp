#include "combiner/destination.h"

#include <utility>

namespace {
constexpr std::uint64_t FOUR_GIB = std::uint64_t{1} << 32;

std::uint64_t size_of(const std::string& path) {
    const std::optional<FileStamp> stamp = file_stamp(path);
    return stamp ? stamp->size : 0;
}
}  // namespace

const char* room_problem(std::uint64_t size, std::uint64_t freed, const FileSystemFacts& facts) {
    if (!facts.holds_4_gib_files && size >= FOUR_GIB) return TOO_LARGE_FOR_FILE_SYSTEM;
    if (facts.free && size > *facts.free + freed) return NO_ROOM;
    return nullptr;
}

Destination::Destination(std::string name, std::FILE* stream)
    : name_(std::move(name)), stream_(stream), kind_(stream ? PathKind::other : path_kind(name_)),
      target_(in_place() ? name_ : link_target(name_)), part_(target_ + PART_SUFFIX) {}

Destination::~Destination() {
    if (file_ && file_ != stream_) std::fclose(file_);
    if (part_created_) remove_file(part_);
}

bool Destination::overwrites(const std::string& path) const {
    return stream_ == nullptr && (names_same_file(target_, path) || names_same_file(part_, path));
}

std::uint64_t Destination::replaced_size() const { return in_place() ? 0 : size_of(target_); }

std::uint64_t Destination::leftover_size() const { return in_place() ? 0 : size_of(part_); }

const char* Destination::room_problem(std::uint64_t size) const {
    if (in_place()) return nullptr;
    return ::room_problem(size, leftover_size(), file_system_of(folder()));
}

bool Destination::create() {
    if (stream_) {
        file_ = stream_;
        return true;
    }
    if (kind_ == PathKind::other) {
        file_ = std::fopen(name_.c_str(), "wb");
        return file_ != nullptr;
    }
    // A name the user may not write is not replaced behind its back: refused as writing it in
    // place always was.
    if (kind_ == PathKind::folder || (kind_ == PathKind::regular && !may_write(target_))) return false;
    file_ = std::fopen(part_.c_str(), "wb");
    part_created_ = file_ != nullptr;
    return part_created_;
}

bool Destination::place(bool flush) {
    if (file_ == stream_) return std::fflush(file_) == 0 && (!flush || flush_to_disk(file_));
    bool placed = !flush || flush_to_disk(file_);
    if (kind_ == PathKind::regular) copy_permissions(target_, file_);
    placed = std::fclose(std::exchange(file_, nullptr)) == 0 && placed;
    if (kind_ == PathKind::other) return placed;
    placed = placed && replace_file(part_, target_, flush);
    if (!placed) return false;  // the destructor removes the .part
    part_created_ = false;
    return !flush || flush_folder(folder());
}

void Destination::remove_leftover() const {
    if (!in_place() && path_kind(part_) == PathKind::regular) remove_file(part_);
}
