# apt helpers of tools/setup.sh, sourced by it and by their test
# (tests/tools/setup_apt_test.sh). A mirror in the middle of a sync fails
# one index now and then ("File has unexpected size ... Mirror sync in
# progress?"), and its security suite can hold amd64 libraries whose i386
# twins exist only in the main suite. Neither may stop the set-up while
# every package still has a version to install.
#
# Needs: SUDO (array), info and die. Env:
#   CDRTHUMB_APT_TRIES        tries of apt-get update (default 4)
#   CDRTHUMB_APT_RETRY_DELAY  first pause between them in seconds (default
#                             5), tripled after each failure
#   CDRTHUMB_APT_SUITE        the main suite preferred when the suites are
#                             out of step (default: the system's codename)

APT_UPDATED=0
APT_FAILED_INDEXES=""

# The indexes apt-get named in "Failed to fetch URL" lines of its output.
apt_failed_indexes() {
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$1" | sort -u
}

# apt-get update, tried again after a pause when an index fails. When it
# still fails, the indexes it did get are kept and the set-up goes on: each
# package is then checked for a candidate before anything is installed
# (apt_require_candidates), and fetch_src names a missing source record.
apt_update() {
    local tries=${CDRTHUMB_APT_TRIES:-4} delay=${CDRTHUMB_APT_RETRY_DELAY:-5}
    local try=1 out
    out=$(mktemp)
    while :; do
        info "apt-get update (try $try of $tries)"
        if "${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=1800 update -qq >"$out" 2>&1 &&
           ! grep -q '^E:' "$out"; then
            APT_FAILED_INDEXES=""
            break
        fi
        APT_FAILED_INDEXES=$(apt_failed_indexes "$out")
        grep -E '^(E|W):' "$out" | sed 's/^/      /' || true
        if [ "$try" -ge "$tries" ]; then
            info "apt-get update still fails after $tries tries; going on with the indexes it has"
            break
        fi
        info "trying again in ${delay}s (a mirror may be in the middle of a sync)"
        sleep "$delay"
        delay=$((delay * 3))
        try=$((try + 1))
    done
    rm -f "$out"
    APT_UPDATED=1
}

# Names the indexes that failed and what to try; for die's message.
apt_advice() {
    local msg=""
    if [ -n "$APT_FAILED_INDEXES" ]; then
        msg=" The indexes that failed to download: $(echo "$APT_FAILED_INDEXES" | tr '\n' ' ')."
    fi
    printf '%s Try again in a few minutes (a mirror may be in the middle of a sync), or run apt-get update by hand to see the failure.' "$msg"
}

# Dies naming every package that has no version to install.
apt_require_candidates() {
    local p cand lacking=()
    for p in "$@"; do
        cand=$(apt-cache policy "$p" 2>/dev/null | sed -n 's/^ *Candidate: *//p' | head -n 1)
        if [ -z "$cand" ] || [ "$cand" = "(none)" ]; then lacking+=("$p"); fi
    done
    [ "${#lacking[@]}" -eq 0 ] ||
        die "no installable version of: ${lacking[*]}.$(apt_advice)"
}

# The suite whose versions are preferred when the default choice cannot be
# installed together.
apt_main_suite() {
    if [ -n "${CDRTHUMB_APT_SUITE:-}" ]; then echo "$CDRTHUMB_APT_SUITE"; return; fi
    local codename=""
    # shellcheck disable=SC1091
    [ -r /etc/os-release ] && codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    echo "${codename:-bookworm}"
}

# apt-get install PKG..., never removing an installed package: a newer amd64
# library from the security suite would otherwise take wine32:i386 away with
# it. When that fails (typically i386 packages whose
# amd64 twins come from another suite at another version), once more with
# the main suite's versions preferred, so that both architectures match.
apt_install() {
    local out suite
    out=$(mktemp)
    apt_require_candidates "$@"
    if "${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=1800 install -y -q --no-install-recommends --no-remove "$@" >"$out" 2>&1; then
        rm -f "$out"
        return 0
    fi
    suite=$(apt_main_suite)
    grep -E '^(E|W):| : Depends:' "$out" | sed 's/^/      /' || true
    info "apt-get install failed; trying again with the $suite suite's versions preferred"
    if "${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=1800 install -y -q --no-install-recommends --no-remove -t "$suite" "$@" >"$out" 2>&1; then
        rm -f "$out"
        return 0
    fi
    grep -E '^(E|W):| : Depends:' "$out" | sed 's/^/      /' >&2 || true
    rm -f "$out"
    die "apt-get install failed for: $*, also with the $suite suite preferred.$(apt_advice)"
}
