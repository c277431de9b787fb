# Shared by the scripts that cross-build a library from a Debian source
# package with the mingw-w64 posix-thread compilers (scripts/build-wxmsw,
# scripts/build-benchmark-mingw, scripts/build-curl-mingw,
# scripts/build-microhttpd-mingw, scripts/build-libxcrypt-mingw,
# scripts/build-sqlite-mingw): sourced, not run. Each library is built once,
# into a cache folder outside the clone, keyed by the source version, the
# build flags and the compiler version; a stamp written last marks it
# complete, so a matching stamp skips the build.
#
#   mingw_cache_begin NAME PACKAGE FLAG...
#     Takes NAME's lock. When NAME's folder for this key is complete, prints
#     it and exits; otherwise sets version, prefix and work (a fresh folder,
#     removed on exit, whose src/ holds the unpacked source).
#   mingw_cache_finish
#     Marks $prefix complete and prints it.
# Needs the "windows" packages of packages.txt.

cache=${KELVORAN_WX_CACHE:-/var/cache/kelvoran}
scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
host=x86_64-w64-mingw32
export CC=$host-gcc-posix CXX=$host-g++-posix
export AR=$host-gcc-ar-posix RANLIB=$host-gcc-ranlib-posix NM=$host-gcc-nm-posix
export WINDRES=$host-windres STRIP=$host-strip

# apt works in a private state folder so the machine's own sources stay as
# they are: its Debian entries are copied with "deb-src" in place of "deb".
apt_dir=$cache/apt
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")

write_source_entries() {
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >"$apt_dir/sources.list.d/debian-src.sources"
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt_dir/sources.list.d/debian-src.list"
  fi
}

# source_version PACKAGE: the newest version of PACKAGE's source, or nothing.
source_version() {
  apt-cache "${apt_opts[@]}" showsrc "$1" 2>/dev/null |
    sed -n 's/^Version: //p' | sort -V | tail -1
}

mingw_cache_begin() {
  local name=$1 package=$2 compiler key
  shift 2
  mkdir -p "$cache"
  exec 9>"$cache/$name.lock"
  flock 9
  # The package lists are shared by every library; apt's own lock would make
  # a second update fail rather than wait.
  (
    flock 8
    if [[ ! -d "$apt_dir/sources.list.d" || -z "$(source_version "$package")" ]]; then
      write_source_entries
      "$scripts_dir/apt-retry" "${apt_opts[@]}" -q update >&2
    fi
  ) 8>"$cache/apt.lock"
  version=$(source_version "$package")
  [[ -n "$version" ]] || { echo "${0##*/}: no $package source package" >&2; exit 1; }
  compiler=$(dpkg-query -W -f='${Package} ${Version}' "$(dpkg -S "$(command -v "$CXX")" | cut -d: -f1)")
  key_text="$package $version
$*
$compiler"
  key=$(sha256sum <<<"$key_text" | cut -c1-16)
  prefix=$cache/$name-$key
  if [[ -f "$prefix/stamp" ]] && [[ "$(cat "$prefix/stamp")" == "$key_text" ]]; then
    echo "$prefix"
    exit 0
  fi

  echo "${0##*/}: building $package $version into $prefix" >&2
  rm -rf "$prefix"
  work=$(mktemp -d "$cache/$name-build.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  (
    cd "$work"
    "$scripts_dir/apt-retry" "${apt_opts[@]}" -q source --download-only "$package=$version"
    dpkg-source -x ./*.dsc src
  ) >&2
}

mingw_cache_finish() {
  printf '%s\n' "$key_text" >"$prefix/stamp"
  echo "$prefix"
}
