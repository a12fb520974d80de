// Fixtures of the Windows archive suites: a private scratch directory on drive C:, and
// the Win32 steps with which tests build the scenes the library must refuse. Scenes are
// set with the calls an attacker would use (CreateFileW, SetSecurityInfo, MoveFileExW,
// CreateHardLinkW, a reparse point by FSCTL_SET_REPARSE_POINT, a second process), so a
// test never depends on the code it checks to set them. Descriptors are written and
// read through security_calls(), the calls the library makes (under Wine, the
// substitute's).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "windows/wine_substitutes.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs::testing {

// Scratch is a fresh private directory under the Windows temporary folder (on drive C:,
// a local fixed volume), removed with everything in it when the test ends.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // path returns the scratch directory's absolute path ("C:\...").
  const std::string& path() const { return path_; }
  // at returns the absolute path of relative ('/' or '\' separated) inside it.
  std::string at(std::string_view relative) const;

 private:
  std::string path_;
};

// wide returns a UTF-8 path in UTF-16.
std::wstring wide(std::string_view text);

// The two shapes the archive writes a file in.
enum class Shape { writable, sealed };

// user_sid returns the current user's security identifier as text ("S-1-5-...").
std::string user_sid();
// private_sddl returns the private descriptor of the current user in descriptor text:
// owner the user, a protected list of one entry granting `rights` ("FA" full control,
// "FR" generic read).
std::string private_sddl(std::string_view rights);

// make_directory creates path and gives it the private descriptor.
void make_directory(const std::string& path);
// make_file creates path with bytes and gives it the private descriptor of shape.
void make_file(const std::string& path, std::string_view bytes, Shape shape = Shape::sealed);

// set_descriptor writes the owner and/or access list of the descriptor text sddl to path
// through SetSecurityInfo, as `info` names them (OWNER_SECURITY_INFORMATION,
// DACL_SECURITY_INFORMATION); a list is written protected or unprotected as the text
// says. The test fails when the call fails.
void set_descriptor(const std::string& path, const std::string& sddl, unsigned long info);
// descriptor_of returns the owner and access list of path, read through GetSecurityInfo,
// as descriptor text.
std::string descriptor_of(const std::string& path);
std::string descriptor_of(const Handle& handle);

// open_raw opens path with CreateFileW (directories too), without following a reparse
// point, and returns the handle owned, or an empty Handle.
Handle open_raw(const std::string& path, unsigned long access, unsigned long share);

// identity returns (volume serial, file index) of path, or of a handle, read with
// GetFileInformationByHandle; {0, 0} when it cannot be read.
struct Identity {
  std::uint64_t volume = 0;
  std::uint64_t file_id = 0;
  bool operator==(const Identity&) const = default;
};
Identity identity(const std::string& path);
Identity identity(const Handle& handle);

// same_object returns whether handle denotes the object at path.
bool same_object(const Handle& handle, const std::string& path);

// open_store locates path and opens the directory it names.
Handle open_store(const std::string& path);

// exists returns whether anything is at path (a reparse point is not followed).
bool exists(const std::string& path);
// names_in returns the names in directory path, sorted, without "." and "..".
std::vector<std::string> names_in(const std::string& path);
// read_bytes returns the contents of path (the test fails when it cannot be read).
std::string read_bytes(const std::string& path);
// replace_file removes path and writes bytes there again in shape, as someone with
// write access to the store would.
void replace_file(const std::string& path, std::string_view bytes, Shape shape = Shape::sealed);

// make_junction creates path as a junction to the directory target, and make_symlink as a
// symbolic link; each returns false when the system cannot make one.
bool make_junction(const std::string& path, const std::string& target);
bool make_symlink(const std::string& path, const std::string& target, bool directory);

}  // namespace zu::archive_fs::testing
