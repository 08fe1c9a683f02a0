#!/usr/bin/env bash
# Builds what a release publishes, from the commit checked out, into one folder (default
# build/release): the .deb, vantor.exe, vantor-uploader.exe and the setup program, each with its
# CycloneDX SBOM (ARTIFACT.cdx.json, validated), the third-party notices, and SHA256SUMS over all of
# them (sha256sum -c SHA256SUMS checks a download). Every time stamp is the commit's
# (SOURCE_DATE_EPOCH), so that scripts/reproducible-check.sh finds two builds of one commit equal.
#   scripts/release.sh [--no-desktop] [OUT]
# --no-desktop leaves out vantor-uploader.exe and the setup program (no Qt for Windows needed). The
# Linux build goes to OUT-linux, the Windows one to build/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
desktop=1
if [ "${1:-}" = "--no-desktop" ]; then
    desktop=0
    shift
fi
out=${1:-build/release}
linux=$out-linux
thirdparty=packaging/third-party/thirdparty.py
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: the work tree has uncommitted changes, which this build holds: it is not the commit's" >&2
fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF -DVANTOR_WERROR=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$linux" >/dev/null
(cd "$linux" && rm -f ./*.deb && cpack -G DEB >/dev/null)
./scripts/windows-build.sh --release $([ $desktop = 1 ] || echo --no-desktop) >/dev/null

rm -rf "$out"
mkdir -p "$out"
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
