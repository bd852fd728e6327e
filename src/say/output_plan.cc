#include "say/output_plan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "say/replacement_file.h"

namespace tolvaren_say {
namespace {

namespace fs = std::filesystem;

struct Role {
  std::string option;  // "-f", "-o", "--timings"
  std::string path;
};

// The entry `path` names: its folder with the links resolved (as far as
// it exists), then its own name, itself unresolved.
fs::path Entry(const std::string& path) {
  std::error_code failed;
  const fs::path given(path);
  fs::path folder = given.parent_path();
  if (folder.empty()) folder = ".";
  fs::path resolved =
      fs::weakly_canonical(fs::absolute(folder, failed), failed);
  if (failed) resolved = fs::absolute(folder, failed).lexically_normal();
  return given.has_filename() ? resolved / given.filename() : resolved;
}

// The file `path` reaches after every link, when it exists.
bool Identity(const std::string& path, struct stat& status) {
  return stat(path.c_str(), &status) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (Entry(a) == Entry(b)) return true;
  struct stat first {};
  struct stat second {};
  return Identity(a, first) && Identity(b, second) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::vector<Role> FileRoles(const SayOptions& options) {
  std::vector<Role> roles;
  if (options.source == TextSource::kFile)
    roles.push_back({"-f", options.file});
  if (!options.output.empty() && !options.to_standard_output() &&
      !IsNullDevice(options.output)) {
    roles.push_back({"-o", options.output});
  }
  if (!options.timings.empty() && options.timings != "-" &&
      !IsNullDevice(options.timings)) {
    roles.push_back({"--timings", options.timings});
  }
  return roles;
}

// Whether `role` names a line's WAV in `folder` (the --output-dir, its
// links resolved): by its path, by where its links lead, or as a hard
// link of a WAV already there.
bool InOutputFolder(const Role& role, const fs::path& folder) {
  const fs::path entry = Entry(role.path);
  if (entry.parent_path() == folder &&
      IsLineFileName(entry.filename().string())) {
    return true;
  }
  std::error_code failed;
  const fs::path target = fs::canonical(role.path, failed);
  if (!failed && target.parent_path() == folder &&
      IsLineFileName(target.filename().string())) {
    return true;
  }
  struct stat status {};
  if (!Identity(role.path, status)) return false;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return false;
  bool found = false;
  while (const dirent* item = readdir(listing)) {
    struct stat there {};
    if (IsLineFileName(item->d_name) &&
        stat((folder / item->d_name).c_str(), &there) == 0 &&
        there.st_dev == status.st_dev && there.st_ino == status.st_ino) {
      found = true;
      break;
    }
  }
  closedir(listing);
  return found;
}

}  // namespace

bool IsLineFileName(const std::string& name) {
  const std::size_t dot = name.size() < 4 ? 0 : name.size() - 4;
  if (dot == 0 || name.compare(dot, 4, ".wav") != 0) return false;
  for (std::size_t at = 0; at < dot; ++at) {
    if (name[at] < '0' || name[at] > '9') return false;
  }
  return true;
}

std::string SameFileTwice(const SayOptions& options) {
  const std::vector<Role> roles = FileRoles(options);
  for (std::size_t i = 0; i < roles.size(); ++i) {
    for (std::size_t j = i + 1; j < roles.size(); ++j) {
      if (SameFile(roles[i].path, roles[j].path)) {
        return roles[i].option + " " + roles[i].path + " and " +
               roles[j].option + " " + roles[j].path +
               " are the same file: give each its own";
      }
    }
  }
  if (options.output_dir.empty()) return "";
  std::error_code failed;
  fs::path folder =
      fs::weakly_canonical(fs::absolute(options.output_dir), failed);
  if (failed) return "";
  if (!folder.has_filename()) folder = folder.parent_path();
  for (const Role& role : roles) {
    if (InOutputFolder(role, folder)) {
      return role.option + " " + role.path + " is a file that --output-dir " +
             options.output_dir + " writes: give it another name";
    }
  }
  return "";
}

}  // namespace tolvaren_say
