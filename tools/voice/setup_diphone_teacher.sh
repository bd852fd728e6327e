#!/bin/sh
# Installs the diphone teacher of the second voice: the mbrola program and
# the mbrola-cn1 Mandarin diphone database. Both live in Debian's
# "non-free" archive component (with "contrib"), which this script adds to
# the apt sources in a file of its own, so removing that file undoes it.
#
# Only training the second voice needs this. Building and running the tool
# never does, and scripts/install_deps.sh never enables non-free.
#
# The cn1 database may be used only with the MBROLA program; it may not be
# sold or built into a product that is sold without its owner's permission.
# Read /usr/share/doc/mbrola-cn1/ after installing.
set -eu

SOURCES=/etc/apt/sources.list.d/tolvaren-diphone-teacher.sources

if [ "$(id -u)" != 0 ]; then
  echo "setup_diphone_teacher.sh: run as root (it edits the apt sources)" >&2
  exit 1
fi

# "non-free" as a word of its own: bookworm's default "non-free-firmware"
# does not hold these packages.
if ! grep -rqsE '^[^#]*[[:space:]]non-free([[:space:]]|$)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  . /etc/os-release
  suite=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}
  cat >&2 <<MSG
setup_diphone_teacher.sh: adding the Debian "contrib non-free" components
for $suite to the apt sources ($SOURCES).
The diphone teacher (mbrola, mbrola-cn1) is non-free software: its licence
forbids selling it or a product built with it without the owner's
permission. Delete $SOURCES to remove the components again.
MSG
  cat > "$SOURCES" <<SRC
# Added by tools/voice/setup_diphone_teacher.sh for the diphone teacher.
Types: deb
URIs: http://deb.debian.org/debian
Suites: $suite $suite-updates
Components: contrib non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update
fi

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends mbrola mbrola-cn1
echo "setup_diphone_teacher.sh: mbrola and mbrola-cn1 are installed" >&2
