// Thin file layer over POSIX: the file operations every module uses.
//
// Files are opened for reading (existing files only) or created anew for
// writing (truncating), always shared with other processes. A PlatformFile
// owns its descriptor and closes it when destroyed. Failures are reported
// through boolean results and the errno value kept in LastError(); nothing
// throws.
//
// Tests can inject faults for files whose path contains a given text: a
// write that fails after a byte budget (SetFileWriteFault), or the Nth open,
// read, write, close or rename failing (SetFileCallFault).
#pragma once

#include <cstdint>
#include <string>

class PlatformFile {
 public:
  PlatformFile() = default;
  ~PlatformFile();
  PlatformFile(const PlatformFile&) = delete;
  PlatformFile& operator=(const PlatformFile&) = delete;
  PlatformFile(PlatformFile&& other) noexcept;
  PlatformFile& operator=(PlatformFile&& other) noexcept;

  // Opens an existing file for reading. False (and LastError) when it cannot.
  bool OpenRead(const std::string& path);
  // Creates the file anew (existing content discarded) for writing.
  bool CreateWrite(const std::string& path);
  // Closes the descriptor if open. False when close reported an error.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // The open descriptor (-1 when closed), for checks such as fstat.
  int Descriptor() const { return fd_; }

  // Reads up to n bytes; returns the bytes delivered (0 at end of file or on
  // error; LastError tells which). Retries interrupted and partial reads.
  int64_t Read(void* buffer, int64_t n);
  // Writes all n bytes; returns the bytes written, fewer on error.
  int64_t Write(const void* buffer, int64_t n);
  // Moves to the absolute offset. False (position unchanged) on failure.
  bool Seek(int64_t offset);
  // Current position, or -1.
  int64_t Tell() const;
  // Size of the open file, or -1.
  int64_t Size() const;
  // Hands written data to the system (no fsync: the data is in the kernel).
  bool Flush();

  int LastError() const { return last_error_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  int last_error_ = 0;
  std::string path_;
};

// The system's message text for an error number (strerror).
std::string SystemErrorText(int error_number);
// Writes beyond a file-size limit then fail with EFBIG, like a full disk,
// instead of ending the process with SIGXFSZ.
void IgnoreFileSizeSignal();

bool FileExists(const std::string& path);      // a regular file (or link to one)
bool FolderExists(const std::string& path);
bool CreateFolder(const std::string& path);    // one level; true if created
bool DeleteFileAt(const std::string& path);    // true if removed
std::string CurrentFolder();                   // "" when it cannot be read
bool SetCurrentFolder(const std::string& path);
// Renames (replacing the target); false with errno set on failure.
bool RenameFile(const std::string& from, const std::string& to);

// Fault injection for tests: after `bytes_before_fault` more bytes have been
// written to files whose path contains `path_part`, every further write to
// such files fails with `error_number` (for example ENOSPC or EIO). An empty
// path_part clears the fault.
void SetFileWriteFault(const std::string& path_part, int64_t bytes_before_fault, int error_number);
void ClearFileWriteFault();

// Fault injection for tests, by call: every open (OpenRead, CreateWrite),
// read, write, close and rename of a file whose path contains `path_part` is
// counted per operation, and the `nth_call`-th (from 1) of `operation` fails
// with `error_number`: the open and the rename do nothing, the read and the
// write transfer nothing, the close releases the descriptor but reports the
// error. nth_call 0 only counts. Paths that contain `spared_part` (when it
// is not empty) are neither counted nor failed. An empty path_part clears
// the fault.
enum class FileOperation { Open, Read, Write, Close, Rename };
inline constexpr int kFileOperationCount = 5;
void SetFileCallFault(const std::string& path_part, FileOperation operation, int64_t nth_call,
                      int error_number, const std::string& spared_part = "");
void ClearFileCallFault();
// Calls of the operation counted since SetFileCallFault.
int64_t FileCallCount(FileOperation operation);
