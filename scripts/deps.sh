# Shared by scripts/run and scripts/test: installs the Debian packages that
# the build needs when any is missing, with sudo when not root.
quillet_packages=(cmake ninja-build g++ qt6-base-dev libcurl4-openssl-dev fonts-dejavu-core)

quillet_install_deps() {
    local missing=()
    local pkg
    for pkg in "${quillet_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo_=""
    [ "$(id -u)" = 0 ] || sudo_=sudo
    echo "Installing: ${missing[*]}"
    $sudo_ apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq "${missing[@]}" >/dev/null
}
