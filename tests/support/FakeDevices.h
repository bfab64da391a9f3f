#pragma once
// Stand-ins for printer devices: temporary folders, pseudo-terminal pairs, and a device
// root ($QUILLON_DEV_ROOT) whose nodes lead to them. Tests never open real devices.

#include <string>
#include <vector>

namespace quillon {

// The lines of a text file, without their line ends; none when it cannot be read.
std::vector<std::string> FileLines(const std::string& path);

// A temporary folder, removed with everything in it when the object goes.
// What the day file of today ("YYYY-MM-DD.txt" in the current folder) holds; empty when
// there is none.
std::string ReadDayFile();

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Creates the folders of a path below this one and returns the full path.
    std::string MakeDirs(const std::string& relative) const;
    // Writes a file below this folder (folders made as needed) and returns its full path.
    std::string WriteFile(const std::string& relative, const std::string& content) const;

  private:
    std::string path_;
};

// A pseudo-terminal pair in raw mode. The program opens the slave (through a node that
// links to it); the test reads and writes the master and sees every byte.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // Reads from the master until `count` bytes came or `timeoutMs` passed without any.
    std::string ReadMaster(std::size_t count, int timeoutMs = 5000) const;
    // Reads every byte the master gets until it has been quiet for quietMs.
    std::string DrainMaster(int quietMs = 200) const;
    void WriteMaster(const std::string& bytes) const;
    void CloseMaster();

  private:
    int master_ = -1;
    std::string slavePath_;
};

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool had_;
};

// A full disk for this process while the object lives: no file can grow past `bytes`
// (RLIMIT_FSIZE), and a write that would fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    unsigned long oldLimit_;
    void (*oldHandler_)(int);
};

// Makes `linkPath` (full path, folders created) a symbolic link to `target`.
void LinkNode(const std::string& linkPath, const std::string& target);

}  // namespace quillon
