#!/usr/bin/env bash
# Builds what a release publishes, from the commit checked out, into one folder (default
# build/release): the .deb, vantor.exe, vantor-uploader.exe and the setup program, each with its
# CycloneDX SBOM (ARTIFACT.cdx.json, validated), the third-party notices, and SHA256SUMS over all of
# them (sha256sum -c SHA256SUMS checks a download). Every time stamp is the commit's
# (SOURCE_DATE_EPOCH) and every file mode the umask 022's, so that scripts/reproducible-check.sh
# finds two builds of one commit equal.
#   scripts/release.sh [--no-desktop] [--allow-dirty] [OUT]
# --no-desktop leaves out vantor-uploader.exe and the setup program (no Qt for Windows needed). A
# work tree with uncommitted changes is refused: the build would hold them but be dated and named
# by the commit. --allow-dirty builds it anyway, as a trial that is not a reproducible release.
# The Linux build goes to OUT-linux, the Windows one to build/windows. OUT is emptied first, so it
# must be missing or a folder this script made (it leaves .vantor-release in it), and neither the
# source tree, a folder holding it, nor build/windows; OUT-linux must be missing or a build of this
# script's.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
desktop=1
dirty=0
while [ $# -gt 0 ]; do
    case $1 in
    --no-desktop) desktop=0 ;;
    --allow-dirty) dirty=1 ;;
    -*) echo "usage: scripts/release.sh [--no-desktop] [--allow-dirty] [OUT]" >&2; exit 2 ;;
    *) break ;;
    esac
    shift
done
[ $# -le 1 ] || { echo "usage: scripts/release.sh [--no-desktop] [--allow-dirty] [OUT]" >&2; exit 2; }
out=${1:-build/release}
linux=$out-linux
marker=.vantor-release
thirdparty=packaging/third-party/thirdparty.py

# ours FOLDER: FOLDER is missing, or made by this script. Anything else may be someone's work.
ours() { [ ! -e "$1" ] || { [ -d "$1" ] && [ -f "$1/$marker" ]; }; }
root=$(realpath .)
where=$(realpath -m -- "$out")
case $root/ in
"$where"/*) echo "release: $out holds the source tree; choose another folder" >&2; exit 2 ;;
esac
case $where/ in
"$root/build/windows"/* | "$root/build/windows-host"/*)
    echo "release: $out is where the Windows build goes; choose another folder" >&2; exit 2 ;;
esac
for folder in "$out" "$linux"; do
    ours "$folder" ||
        { echo "release: $folder exists and was not made by scripts/release.sh; remove it yourself or choose another OUT" >&2; exit 2; }
done

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    if [ $dirty = 0 ]; then
        echo "release: the work tree has uncommitted changes: commit them, or give --allow-dirty for a trial build" >&2
        exit 2
    fi
    echo "release: the work tree has uncommitted changes, which this build holds: it is not the commit's, and not a reproducible release" >&2
fi
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

mkdir -p "$linux"
touch "$linux/$marker"
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF -DVANTOR_WERROR=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$linux" >/dev/null
(cd "$linux" && rm -f ./*.deb && cpack -G DEB >/dev/null)
./scripts/windows-build.sh --release $([ $desktop = 1 ] || echo --no-desktop) >/dev/null

rm -rf "$out"
mkdir -p "$out"
touch "$out/$marker"
deb=$(cd "$linux" && ls ./*.deb)
deb=${deb#./}
cp "$linux/$deb" build/windows/src/cli/vantor.exe "$out/"
python3 "$thirdparty" sbom --artifact deb --file "$out/$deb" --out "$out/$deb.cdx.json"
python3 "$thirdparty" sbom --artifact vantor.exe --file "$out/vantor.exe" --out "$out/vantor.exe.cdx.json"
if [ $desktop = 1 ]; then
    setup=$(cd build/windows && ls vantor-setup-*-x64.exe)
    cp build/windows/src/app/vantor-uploader.exe "build/windows/$setup" build/windows/setup-docs/THIRD-PARTY-NOTICES.txt "$out/"
    python3 "$thirdparty" sbom --artifact vantor-uploader.exe --file "$out/vantor-uploader.exe" \
        --out "$out/vantor-uploader.exe.cdx.json"
    python3 "$thirdparty" sbom --artifact setup --file "$out/$setup" --out "$out/$setup.cdx.json"
fi
python3 "$thirdparty" validate "$out"/*.cdx.json >/dev/null
(cd "$out" && sha256sum -- * >SHA256SUMS)
echo "release in $out:"
cat "$out/SHA256SUMS"
