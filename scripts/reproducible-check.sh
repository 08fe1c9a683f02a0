#!/usr/bin/env bash
# Proves that a build of one commit gives the same bytes wherever and whenever it runs: two clean
# clones of the commit, in two folders (of different lengths, so that a path left in a file shows),
# built one after the other the way a release builds them, and every artifact compared byte for byte.
# The second clone is made and built under umask 0002, the first under 022: a file mode that
# follows the builder's umask shows as a difference. An artifact only one build made fails too.
# Prints each artifact's SHA-256 from both builds; where they differ, shows where.
#   scripts/reproducible-check.sh [--cli] [COMMIT]
# Without --cli: vantor and the .deb (Linux), vantor.exe, vantor-uploader.exe and the setup program
# (against the Qt cached by scripts/build-qt-windows.sh), with their SBOMs and SHA256SUMS. With --cli:
# vantor, the .deb and vantor.exe, as CI checks. COMMIT defaults to HEAD (what is not committed is not checked). The clones go under
# VANTOR_REPRODUCIBLE_DIR (default build/reproducible). ccache is switched off: a hit from an earlier
# run in the same folder would hand back an object instead of compiling it again, and hide a compile
# that does not give the same bytes twice.
# Exits 0 only when every artifact is equal.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
export CCACHE_DISABLE=1
root=$PWD
full=1
if [ "${1:-}" = "--cli" ]; then
    full=0
    shift
fi
commit=$(git rev-parse --verify "${1:-HEAD}^{commit}")
dir=${VANTOR_REPRODUCIBLE_DIR:-$root/build/reproducible}

# build CLONE UMASK: a fresh clone of the commit in CLONE, made and built under UMASK by its
# scripts/release.sh, what it publishes (SBOMs and SHA256SUMS included) and the Linux vantor copied
# to CLONE.artifacts.
build() (
    local clone=$1 out=$1.artifacts start
    umask "$2"
    start=$(date +%s)
    rm -rf "$clone" "$out"
    git clone -q --no-checkout "$root" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    (cd "$clone" && ./scripts/release.sh $([ $full = 1 ] || echo --no-desktop) build/release >/dev/null)
    cp -r "$clone/build/release" "$out"
    cp "$clone/build/release-linux/src/cli/vantor" "$out/"
    echo "built $commit in $clone under umask $2: $(($(date +%s) - start)) s"
)

# differences A B: where two builds of an artifact part.
differences() {
    local a=$1 b=$2
    case $a in
    *.deb)
        diff <(dpkg-deb -c "$a") <(dpkg-deb -c "$b") || true
        diff <(dpkg-deb --ctrl-tarfile "$a" | tar -tvf -) <(dpkg-deb --ctrl-tarfile "$b" | tar -tvf -) || true
        diff <(ar tv "$a") <(ar tv "$b") || true ;;
    *.exe) diff <(x86_64-w64-mingw32-objdump -p "$a") <(x86_64-w64-mingw32-objdump -p "$b") | head -n 20 || true ;;
    esac
    echo "    $(cmp -l "$a" "$b" | wc -l) bytes differ; the first:"
    cmp -l "$a" "$b" | head -n 5 | sed 's/^/    /' || true
}

build "$dir/first" 022
build "$dir/second-clone" 0002
different=0
if ! diff <(cd "$dir/first.artifacts" && ls -A) <(cd "$dir/second-clone.artifacts" && ls -A) >"$dir/names.diff"; then
    echo "DIFFERENT  the builds made other files (< first only, > second only):"
    grep '^[<>]' "$dir/names.diff" | sed 's/^/    /'
    different=1
fi
for a in "$dir/first.artifacts"/*; do
    name=$(basename "$a")
    b="$dir/second-clone.artifacts/$name"
    sums="$(sha256sum "$a" | cut -d' ' -f1) $( [ -f "$b" ] && sha256sum "$b" | cut -d' ' -f1)"
    if [ -f "$b" ] && cmp -s "$a" "$b"; then
        echo "equal      $sums  $name"
    else
        echo "DIFFERENT  $sums  $name"
        [ -f "$b" ] && differences "$a" "$b"
        different=1
    fi
done
[ $different = 0 ]
