#!/bin/sh
# install_consumers.sh BUILD_DIR CXX: installs BUILD_DIR into a fresh prefix and checks that a
# CMake consumer (find_package) and a pkg-config consumer build and run against it, and that
# pkg-config still finds the tree after it has been moved elsewhere, and that every installed
# header compiles on its own.
set -eu
build=$1
cxx=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/velt-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

mkdir -p "$work/src"
cat >"$work/src/main.cpp" <<'CPP'
#include <cstdio>
#include "veltmetadata/DefinitionsWriter.h"
#include "veltmetadata/MRULists.h"
#include "veltmetadata/MetadataUtils.h"
#include "veltmetadata/Version.h"
int main() {
  veltmetadata::UpdateMRULists("k", {u"v"});
  const bool ok = veltmetadata::GetMRULists().size() == 1 &&
                  veltmetadata::utility::GetXMPFormat(u"/no/such/file") == 0x20202020 &&
                  // The file class the public writer takes is usable from outside.
                  !veltmetadata::WriteSchemaFile({}, veltcore::filesupport::File(std::u16string(u"/proc/x/y.xml")));
  std::printf("%s %s\n", veltmetadata::VersionString(), ok ? "ok" : "wrong");
  return ok ? 0 : 1;
}
CPP
cat >"$work/src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer CXX)
find_package(veltmetadata REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE veltmetadata::veltmetadata)
CMAKE

libdir=$(dirname "$(find "$prefix" -name 'libveltmetadata.so' | head -n 1)")
cmake -S "$work/src" -B "$work/cmake-build" -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-build/consumer"

# pkg-config, in place and after moving the whole tree.
for root in "$prefix" "$work/moved"; do
  if [ "$root" != "$prefix" ]; then mv "$prefix" "$root"; libdir=$root${libdir#"$prefix"}; fi
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  case "$(pkg-config --cflags veltmetadata)" in
    *"-I$root/"*) ;;
    *) echo "pkg-config --cflags does not point into $root: $(pkg-config --cflags veltmetadata)"
       exit 1 ;;
  esac
  # shellcheck disable=SC2046
  "$cxx" -std=c++20 -o "$work/pc-consumer" "$work/src/main.cpp" $(pkg-config --cflags --libs veltmetadata)
  LD_LIBRARY_PATH=$libdir "$work/pc-consumer"
done

# Every installed header compiles on its own against the installed tree alone.
cflags=$(pkg-config --cflags veltmetadata)
(cd "$root/include" && find . -name '*.h' | sort) | while read -r header; do
  printf '#include "%s"\n' "${header#./}" >"$work/one-header.cpp"
  # shellcheck disable=SC2086
  if ! "$cxx" -std=c++20 -fsyntax-only $cflags "$work/one-header.cpp"; then
    echo "installed header ${header#./} does not compile on its own"
    exit 1
  fi
done
