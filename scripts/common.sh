# Shared by the project's commands: the Debian packages the build, the tests and the demo
# need, and a function that installs the missing ones.

TALMORA_PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins libgl-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth fonts-dejavu-core dbus-daemon dbus-session-bus-common
    clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine64
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386
    python3
)

# Installs whatever of TALMORA_PACKAGES (and any extra names given) is missing, with sudo
# when not root. Prints nothing when all is there.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${TALMORA_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    # Packages of another architecture (wine's 32-bit loader) need it known to dpkg first.
    local arch
    for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/^[^:]*://p' | sort -u); do
        if [ "$arch" != "$(dpkg --print-architecture)" ] &&
            ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            "${sudo[@]}" dpkg --add-architecture "$arch"
        fi
    done
    "${sudo[@]}" apt-get update -qq
    # Through env, since sudo does not pass the caller's environment on.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}
