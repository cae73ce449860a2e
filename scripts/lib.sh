# Shared helpers for the project's scripts. Source it; do not run it.
# Everything lives under the build tree: both compiler trees, the Wine prefix and its home folder.

CALVORIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CALVORIN_BUILD=${CALVORIN_BUILD:-$CALVORIN_ROOT/build}
CALVORIN_WINE=${CALVORIN_WINE:-$CALVORIN_BUILD/wine}

log() { printf '[calvorin] %s\n' "$*" >&2; }

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi
}

# Commands the project needs, each with the Debian package that brings it.
required_tools() {
  cat <<'LIST'
cmake cmake
ninja ninja-build
g++ g++
i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
wine wine
wineserver wine
Xvfb xvfb
xauth xauth
xdpyinfo x11-utils
convert imagemagick
xz xz-utils
zip zip
unzip unzip
strings binutils
LIST
}

install_packages() {
  local missing=() tool pkg
  while read -r tool pkg; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$pkg")
  done < <(required_tools)
  # /usr/local/bin/convert may be a stand-in; the real ImageMagick lives in /usr/bin.
  [ -x /usr/bin/convert ] || missing+=(imagemagick)
  [ -d /usr/src/googletest/googletest ] || missing+=(googletest)
  # The Japanese locale's definition, for the double-byte code page test (see ensure_locale).
  [ -e /usr/share/i18n/locales/ja_JP ] || missing+=(locales)
  # 32-bit Windows programs need Wine's i386 half.
  dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  [ ${#missing[@]} -eq 0 ] && { ensure_locale; return 0; }
  log "installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    $(printf '%s\n' "${missing[@]}" | sort -u) wine64 >/dev/null
  ensure_locale
}

# Wine takes a process's ANSI code page from its Unix locale: ja_JP.UTF-8 gives code page 932,
# a double-byte one, which one test needs. Generated once; a second or so.
ensure_locale() {
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  log "generating the ja_JP.UTF-8 locale"
  as_root localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 || log "could not generate ja_JP.UTF-8"
}

# CALVORIN_WINEARCH=win64 selects the 64-bit prefix beside the 32-bit one: there the program runs
# under WOW64, with the registry's two views and the file system's redirection.
wine_suffix() { [ "${CALVORIN_WINEARCH:-win32}" = win64 ] && echo 64; }

wine_env() {
  export WINEARCH=${CALVORIN_WINEARCH:-win32}
  export WINEPREFIX="$CALVORIN_WINE/prefix$(wine_suffix)"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine links the user's shell folders to $HOME; a home inside the build tree keeps a
  # disk search on C: inside the prefix.
  export HOME="$CALVORIN_WINE/home"
  mkdir -p "$HOME"
}

# Creates the project's prefix (32-bit, or 64-bit with CALVORIN_WINEARCH=win64) once and keeps a
# pristine copy of its registry.
ensure_prefix() {
  wine_env
  local pristine="$CALVORIN_WINE/pristine$(wine_suffix)"
  if [ -f "$pristine/system.reg" ] && [ -f "$WINEPREFIX/system.reg" ]; then
    return 0
  fi
  log "creating the Wine prefix in $WINEPREFIX"
  rm -rf "$WINEPREFIX" "$pristine"
  mkdir -p "$CALVORIN_WINE"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Real folders instead of links into $HOME.
  local user_dir link
  for user_dir in "$WINEPREFIX"/drive_c/users/*; do
    for link in "$user_dir"/*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
  # Windows associates .reg files with the registry editor; a fresh Wine prefix does not.
  local assoc="$CALVORIN_WINE/regassoc.reg"
  printf 'REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.reg]\r\n@="regfile"\r\n\r\n[HKEY_CLASSES_ROOT\\regfile\\shell\\open\\command]\r\n@="regedit.exe \\"%%1\\""\r\n\r\n' >"$assoc"
  (cd "$CALVORIN_WINE" && wine regedit /S regassoc.reg >/dev/null 2>&1)
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  mkdir -p "$pristine"
  cp "$WINEPREFIX"/system.reg "$WINEPREFIX"/user.reg "$WINEPREFIX"/userdef.reg "$pristine/"
}

# Puts the prefix's registry back as it was made. No wineserver may be running.
reset_prefix_registry() {
  wine_env
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  cp "$CALVORIN_WINE/pristine$(wine_suffix)"/*.reg "$WINEPREFIX/"
}

# Uses $DISPLAY when it answers, otherwise starts a private Xvfb and exports DISPLAY.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 91 140); do
    # A lock whose server is gone (killed, machine reset) is stale: Xvfb takes such a display
    # over. Only a live server's display is passed by.
    if [ -e "/tmp/.X$n-lock" ]; then
      local owner
      owner=$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)
      [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null && continue
    fi
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    CALVORIN_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$CALVORIN_XVFB_PID" 2>/dev/null
  done
  log "could not start Xvfb"
  return 1
}

stop_display() {
  [ -n "${CALVORIN_XVFB_PID:-}" ] && kill "$CALVORIN_XVFB_PID" 2>/dev/null
  CALVORIN_XVFB_PID=
}

configure_and_build() {
  local jobs
  jobs=$(nproc)
  cmake -S "$CALVORIN_ROOT" -B "$CALVORIN_BUILD/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$CALVORIN_BUILD/native" -j "$jobs"
  cmake -S "$CALVORIN_ROOT" -B "$CALVORIN_BUILD/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$CALVORIN_ROOT/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$CALVORIN_BUILD/win" -j "$jobs"
}
