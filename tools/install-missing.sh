# Sourced by the set-up scripts: install_missing PACKAGE... installs the Debian packages
# that are not installed yet (as root), and nothing else. A name with an architecture
# (wine32:i386) is looked up as that architecture's package; dpkg learns a foreign
# architecture first if it does not know it yet, and the package lists are then read anew.
install_missing() {
    local missing=() package architecture native
    native=$(dpkg --print-architecture)
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        # CI runs some stages side by side: one install at a time, the others wait for it.
        exec 8>/var/lock/trozflash-install-missing
        flock 8
        for package in "${missing[@]}"; do
            [[ "$package" == *:* ]] || continue
            architecture=${package##*:}
            if [ "$architecture" != "$native" ] && [ "$architecture" != all ] &&
                ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
                echo "Adding the architecture $architecture to dpkg"
                dpkg --add-architecture "$architecture"
            fi
        done
        echo "Installing: ${missing[*]}"
        apt-get update -qq -o DPkg::Lock::Timeout=600
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
            "${missing[@]}" >/dev/null
        exec 8>&-
    fi
}
