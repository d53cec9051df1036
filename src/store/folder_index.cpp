#include "store/folder_index.h"

#include "shell/atomic_file.h"
#include "shell/ui_services.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

constexpr size_t kCaptionOffset = 0;
constexpr size_t kSubItemOffset = 256;
constexpr size_t kImageOffset = 1536;
constexpr size_t kStateOffset = 1540;
constexpr size_t kUnreadOffset = 1544;
constexpr size_t kTotalOffset = 1548;
constexpr size_t kRecordsPerChunk = 84; // about 128 KB: stays in the cache

void PutInt(char* out, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    out[0] = static_cast<char>(u & 0xff);
    out[1] = static_cast<char>((u >> 8) & 0xff);
    out[2] = static_cast<char>((u >> 16) & 0xff);
    out[3] = static_cast<char>((u >> 24) & 0xff);
}

std::int32_t GetInt(const char* in) {
    const auto* b = reinterpret_cast<const unsigned char*>(in);
    const std::uint32_t u = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                            (static_cast<std::uint32_t>(b[2]) << 16) |
                            (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(u);
}

void PutString(char* out, std::string_view text) {
    const std::string_view cut = CutIndexText(text);
    out[0] = static_cast<char>(static_cast<unsigned char>(cut.size()));
    std::memcpy(out + 1, cut.data(), cut.size());
    std::memset(out + 1 + cut.size(), 0, kIndexStringSize - 1 - cut.size());
}

std::string_view GetString(const char* in) {
    return std::string_view(in + 1, static_cast<unsigned char>(in[0]));
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads up to size bytes; the count read, or -1 on an error.
ssize_t ReadFull(int fd, char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// A temporary file beside the target; written, flushed and renamed by Commit.
class TTempFile {
public:
    explicit TTempFile(const std::string& target) : Target(target) {
        Name = target + ".XXXXXX";
        Fd = ::mkstemp(Name.data());
        Created = Fd >= 0;
        if (Created)
            ::fchmod(Fd, kPrivateFileMode);
    }
    ~TTempFile() {
        if (Fd >= 0)
            ::close(Fd);
        if (Created && !Committed)
            ::unlink(Name.c_str());
    }
    bool Ok() const { return Fd >= 0; }
    int Handle() const { return Fd; }
    bool Commit() {
        if (Fd < 0)
            return false;
        const bool flushed = ::fdatasync(Fd) == 0;
        const bool closed = ::close(Fd) == 0;
        Fd = -1;
        if (!flushed || !closed)
            return false;
        if (::rename(Name.c_str(), Target.c_str()) != 0)
            return false;
        Committed = true;
        return true;
    }

private:
    std::string Target;
    std::string Name;
    int Fd = -1;
    bool Committed = false;
    bool Created = false;
};

bool CaptionWasCut(std::string_view caption) {
    if (caption.size() < 255)
        return false;
    const size_t open = caption.find('<');
    return open != std::string_view::npos &&
           caption.find('>', open + 1) == std::string_view::npos;
}

} // namespace

std::string_view CutIndexText(std::string_view text) {
    if (text.size() <= 255)
        return text;
    // Cut before byte `end`; when that byte continues a UTF-8 character, cut before the
    // character's first byte instead.
    size_t end = 255;
    while (end > 252 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        end = 255; // not UTF-8 after all: plain bytes
    return text.substr(0, end);
}

namespace {

void EncodeRow(const TListRow& row, std::int32_t unread, std::int32_t total, char* out) {
    PutString(out + kCaptionOffset, row.Caption());
    for (int i = 0; i < kSubItemCount; ++i)
        PutString(out + kSubItemOffset + static_cast<size_t>(i) * kIndexStringSize,
                  row.SubItem(i));
    PutInt(out + kImageOffset, row.ImageIndex);
    PutInt(out + kStateOffset, row.StateIndex);
    PutInt(out + kUnreadOffset, unread);
    PutInt(out + kTotalOffset, total);
}

} // namespace

void EncodeIndexRecord(const TIndexRecord& record, char* out) {
    EncodeRow(record.Row, record.UnreadCount, record.TotalCount, out);
}

namespace {

std::array<std::string_view, kListColumnCount> RecordCells(const char* in) {
    std::array<std::string_view, kListColumnCount> cells;
    cells[0] = GetString(in + kCaptionOffset);
    for (size_t i = 0; i < kSubItemCount; ++i)
        cells[i + 1] = GetString(in + kSubItemOffset + i * kIndexStringSize);
    return cells;
}

} // namespace

void DecodeIndexRow(const char* in, TListRow& row) {
    row.SetCells(RecordCells(in));
    row.ImageIndex = GetInt(in + kImageOffset);
    row.StateIndex = GetInt(in + kStateOffset);
}

TIndexRecord DecodeIndexRecord(const char* in) {
    TIndexRecord record;
    DecodeIndexRow(in, record.Row);
    record.UnreadCount = GetInt(in + kUnreadOffset);
    record.TotalCount = GetInt(in + kTotalOffset);
    return record;
}

std::string SummaryPathFor(const std::string& indexPath) {
    const size_t slash = indexPath.rfind('/');
    return (slash == std::string::npos ? std::string() : indexPath.substr(0, slash + 1)) +
           "tree.cnt";
}

TIndexLoad LoadIndex(const std::string& path, TMessageList& list, const TIndexControl& control) {
    TIndexLoad result;
    list.BeginBulk();
    list.Clear();
    struct TBulkEnd {
        TMessageList& List;
        ~TBulkEnd() { List.EndBulk(); }
    } bulkEnd{list};

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct TCloser {
        int Fd;
        ~TCloser() { ::close(Fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) % kIndexRecordSize != 0)
        return result;
    if (control.AdvanceAnimation)
        control.AdvanceAnimation();

    const size_t total = static_cast<size_t>(info.st_size) / kIndexRecordSize;
    list.Reserve(list.Count() + static_cast<int>(total));
    TRowTextBlocks texts;
    texts.Expect(total);
    bool failed = false;
    bool stopped = false;
    // Takes the records of one block; false to stop.
    auto take = [&](const char* records, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const char* record = records + i * kIndexRecordSize;
            TListRow& row = list.AppendInBulk();
            texts.SetCells(row, RecordCells(record));
            row.ImageIndex = GetInt(record + kImageOffset);
            row.StateIndex = GetInt(record + kStateOffset);
            if (CaptionWasCut(row.Caption())) {
                list.Remove(list.Count() - 1);
                failed = true;
                return false;
            }
            if (CaptionCountsUnread(row.Caption()))
                ++result.Unread;
            ++result.Rows;
            if (result.Rows % kIndexPumpEveryRead == 0) {
                if (control.Ui)
                    control.Ui->Pump();
                if (control.Stopping()) {
                    stopped = true;
                    return false;
                }
            }
        }
        return true;
    };

    // Read in blocks that stay in the cache; a mapping would add the whole file to the
    // process's resident memory without being faster.
    std::vector<char> buffer(kIndexRecordSize * kRecordsPerChunk);
    while (!stopped && !failed) {
        const ssize_t got = ReadFull(fd, buffer.data(), buffer.size());
        if (got < 0 || static_cast<size_t>(got) % kIndexRecordSize != 0) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        if (!take(buffer.data(), static_cast<size_t>(got) / kIndexRecordSize))
            break;
    }
    result.Ok = !failed;
    return result;
}

std::optional<TFolderSummary> ReadFolderSummary(const std::string& cntPath) {
    const int fd = ::open(cntPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char record[kIndexRecordSize];
    const ssize_t got = ReadFull(fd, record, sizeof record);
    ::close(fd);
    if (got != static_cast<ssize_t>(kIndexRecordSize))
        return std::nullopt;
    return TFolderSummary{GetInt(record + kTotalOffset), GetInt(record + kUnreadOffset)};
}

bool WriteFolderSummary(const std::string& cntPath, TFolderSummary summary) {
    TIndexRecord record;
    record.Row.ImageIndex = 0;
    record.Row.StateIndex = 0;
    record.TotalCount = summary.Total;
    record.UnreadCount = summary.Unread;
    char bytes[kIndexRecordSize];
    EncodeIndexRecord(record, bytes);
    return WriteFileAtomically(cntPath, std::string_view(bytes, sizeof bytes));
}

bool SaveIndex(const std::string& path, const TMessageList& list, const TIndexControl& control) {
    TTempFile temp(path);
    bool ok = temp.Ok();
    TFolderSummary summary;
    std::vector<char> buffer;
    buffer.reserve(kIndexRecordSize * kRecordsPerChunk);
    auto flush = [&] {
        ok = ok && WriteAll(temp.Handle(), buffer.data(), buffer.size());
        buffer.clear();
    };
    for (int i = 0; ok && i < list.Count(); ++i) {
        const TListRow& row = list.Row(i);
        ++summary.Total;
        if (CaptionCountsUnread(row.Caption()))
            ++summary.Unread;
        const size_t at = buffer.size();
        buffer.resize(at + kIndexRecordSize);
        EncodeRow(row, 0, 0, buffer.data() + at);
        if (buffer.size() >= kIndexRecordSize * kRecordsPerChunk)
            flush();
        if ((i + 1) % kIndexPumpEveryWrite == 0 && control.Ui)
            control.Ui->Pump();
        if (control.Closing && *control.Closing) {
            // Not finished: the old index no longer describes the folder either.
            std::error_code ec;
            std::filesystem::remove(path, ec);
            return false;
        }
    }
    if (ok)
        flush();
    if (!ok || !temp.Commit()) {
        // Leave no index that could be taken for the folder's current rows.
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return false;
    }
    return WriteFolderSummary(SummaryPathFor(path), summary);
}

bool AppendIndexRow(const std::string& path, const TListRow& row) {
    return AppendIndexRows(path, std::span<const TListRow>(&row, 1));
}

bool AppendIndexRows(const std::string& path, std::span<const TListRow> rows) {
    if (rows.empty())
        return true;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 &&
              static_cast<std::uint64_t>(info.st_size) % kIndexRecordSize == 0;
    const std::uint64_t rowsBefore = ok ? static_cast<std::uint64_t>(info.st_size) / kIndexRecordSize : 0;
    int unread = 0;
    if (ok) {
        std::vector<char> bytes(kIndexRecordSize * rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            TIndexRecord record;
            record.Row = rows[i];
            unread += CaptionCountsUnread(rows[i].Caption()) ? 1 : 0;
            EncodeIndexRecord(record, bytes.data() + i * kIndexRecordSize);
        }
        ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fdatasync(fd) == 0;
        if (!ok && ::ftruncate(fd, static_cast<off_t>(info.st_size)) != 0) {
            // The torn records stay; the size check makes the next load fail and rebuild.
        }
    }
    ::close(fd);
    if (!ok)
        return false;

    const std::string cntPath = SummaryPathFor(path);
    std::optional<TFolderSummary> summary = ReadFolderSummary(cntPath);
    if (!summary || static_cast<std::uint64_t>(summary->Total) != rowsBefore) {
        // The summary does not describe the index: count the index itself.
        TMessageList list;
        const TIndexLoad load = LoadIndex(path, list);
        if (!load.Ok)
            return false;
        return WriteFolderSummary(cntPath, {load.Rows, load.Unread});
    }
    summary->Total += static_cast<int>(rows.size());
    summary->Unread += unread;
    return WriteFolderSummary(cntPath, *summary);
}

} // namespace pelmora
