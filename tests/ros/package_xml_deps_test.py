"""package.xml names everything the CMake files look for.

Every find_package, pkg_check_modules and required find_program in the
source tree must be in DEPENDENCIES: either a rosdep key that package.xml
lists, or, where rosdep has no key, the Debian packages (headers, shared
library) that scripts/dep_levels.sh installs and package.xml's comment names.
A new dependency fails here until it is added to both.
  package_xml_deps_test.py SOURCE_ROOT
"""

import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

# What CMake looks for -> (rosdep key, or None with the Debian packages
# scripts/install_deps.sh installs instead: headers, shared library).
DEPENDENCIES = {
    "spdlog": ("spdlog",), "fmt": ("fmt",), "absl": ("libabsl-dev",),
    "Eigen3": ("eigen",), "PkgConfig": ("pkg-config",), "GTest": ("gtest",),
    "benchmark": ("benchmark",), "ament_cmake": ("ament_cmake",),
    "rclcpp": ("rclcpp",), "std_msgs": ("std_msgs",),
    "rcl_interfaces": ("rcl_interfaces",),
    "audio_common_msgs": ("audio_common_msgs",),
    "libsystemd": ("libsystemd-dev",), "expat": ("libexpat1-dev",),
    "sndfile": ("libsndfile1-dev",), "node": ("nodejs",),
    "libpulse-simple": ("libpulse-dev",),
    "python3": ("python3",),
    "libpcre2-32": (None, "libpcre2-dev", "libpcre2-32-0"),
    "opencc": (None, "libopencc-dev", "libopencc1.1"),
    "samplerate": (None, "libsamplerate0-dev", "libsamplerate0"),
    "Threads": (None,),  # the C library's
}
DEP_TAGS = ("depend", "build_depend", "exec_depend", "test_depend",
            "buildtool_depend", "build_export_depend")
PKG_KEYWORDS = {"REQUIRED", "QUIET", "IMPORTED_TARGET", "GLOBAL",
                "NO_CMAKE_PATH", "NO_CMAKE_ENVIRONMENT_PATH"}
SKIPPED_DIRS = {".git", "third_party", "out", "node_modules"}


def cmake_lookups(root):
  """The names the CMake files of the tree look for."""
  names = set()
  for folder, dirs, files in os.walk(root):
    dirs[:] = [d for d in dirs
               if d not in SKIPPED_DIRS and not d.startswith("build")]
    for file in files:
      if file != "CMakeLists.txt" and not file.endswith(".cmake"):
        continue
      with open(os.path.join(folder, file), encoding="utf-8") as f:
        text = re.sub(r"#[^\n]*", "", f.read())
      for command, args in re.findall(
          r"\b(find_package|pkg_check_modules|find_program)\s*\(([^)]*)\)",
          text):
        words = args.split()
        if command == "find_package":
          names.add(words[0])
        elif command == "pkg_check_modules":
          names.update(re.split(r"[<>=]", w)[0] for w in words[1:]
                       if w not in PKG_KEYWORDS)
        elif "REQUIRED" in words:
          names.add(words[1])
  return names


def main(root):
  tree = ET.parse(os.path.join(root, "package.xml"))
  own_name = tree.findtext("name")
  keys = {e.text.strip() for tag in DEP_TAGS for e in tree.iter(tag)}
  with open(os.path.join(root, "package.xml"), encoding="utf-8") as f:
    package_xml = f.read()
  key_list = os.path.join(root, "../shared/data/rosdep/keys.txt")
  if not os.path.isfile(key_list):
    print(f"no rosdep key list at {key_list}: skipped")
    return 77  # ctest's SKIP_RETURN_CODE
  with open(key_list, encoding="utf-8") as f:
    rosdep_keys = set(f.read().split())
  levels = {}
  for level in ("runtime", "dev"):
    levels[level] = set(subprocess.run(
        ["bash", "-c", f'source scripts/dep_levels.sh && packages_of {level}'],
        cwd=root, check=True, capture_output=True, text=True).stdout.split())
  faults = []
  for name in sorted(cmake_lookups(root) - {own_name}):
    if name not in DEPENDENCIES:
      faults.append(f"{name}: looked for by CMake, not in DEPENDENCIES here")
      continue
    key, *debian = DEPENDENCIES[name]
    if key is not None and key not in keys:
      faults.append(f"{name}: package.xml lacks its key {key}")
    for package, level in zip(debian, ("dev", "runtime")):
      if package in rosdep_keys:
        faults.append(f"{name}: {package} is a rosdep key: list it instead")
      if package not in levels[level]:
        faults.append(f"{name}: scripts/dep_levels.sh ({level}) lacks {package}")
      if not re.search(rf"(?<![\w.-]){re.escape(package)}(?![\w.-])",
                       package_xml):
        faults.append(f"{name}: package.xml's comment does not name {package}")
  print("\n".join(faults) or "package.xml covers every CMake dependency")
  return 1 if faults else 0


if __name__ == "__main__":
  sys.exit(main(sys.argv[1]))
