// Whole-file replacement through a temporary file beside the target: readers see the old file
// or the new one, never a part; a crash or a full disk leaves the old file as it was.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace velmora::io {

// The temporary file is named "<target>.velmora-tmp-XXXXXX".
inline constexpr std::string_view kTempInfix = ".velmora-tmp-";

class TAtomicFile {
  public:
    TAtomicFile() = default;
    ~TAtomicFile() { Discard(); }
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Starts the replacement of target (a symbolic link is followed: the file it points at is
    // replaced). privateMode gives the new file mode 0600; otherwise a replaced file keeps its
    // mode and a new one gets 0666 less the umask. A target that exists but cannot be written
    // (no write permission bits, or access denied) fails with EACCES and stays as it is. A
    // target that is no regular file (a device, a pipe) is written in place. Every Error() is
    // "<target>: <system's reason>".
    TResult<> Open(const std::string& target, bool privateMode = false);
    TResult<> Write(std::string_view data);
    // Flushes the data to disk and puts the file in the target's place.
    TResult<> Commit();
    // Removes the temporary file; the target stays as it was. Safe to call at any time.
    void Discard();

  private:
    TFailure SystemFailure(int err) const;

    int FFd = -1;
    bool FInPlace = false;
    std::string FTarget;  // the name shown in messages
    std::string FReal;    // the file that is replaced, symbolic links resolved
    std::string FTemp;
};

// Checks that target could be replaced now, creating and removing a temporary file beside it;
// the target itself is not touched. Error() as for TAtomicFile::Open.
TResult<> ProbeAtomicReplace(const std::string& target);

// Removes temporary files of target that a crash left behind, when last changed more than
// olderThanSeconds ago (so a replacement in progress in another process is left alone): those
// named with kTempInfix, and "<target>.XXXXXX" (six letters or digits), the name releases
// before kTempInfix gave them. Returns how many were removed.
int RemoveStaleTempFiles(const std::string& target, int olderThanSeconds = 60);

}  // namespace velmora::io
