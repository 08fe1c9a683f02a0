#!/usr/bin/env python3
"""What each shipped artifact holds of others' work, made from manifest.json beside this file.

  thirdparty.py notices --artifact A --out FILE       THIRD-PARTY-NOTICES.txt, every licence in full
  thirdparty.py sbom --artifact A --file PATH --out FILE   a CycloneDX 1.5 JSON SBOM of the file PATH
  thirdparty.py validate [--file PATH] SBOM...         validates SBOMs with @cyclonedx/cyclonedx-library, and
                                                      against the manifest and (given or beside) the artifact
  thirdparty.py check --artifact A [--link-map MAP [--remove-on-failure PROGRAM]] [--compile-commands FILE]
                      [--header H]... [--deps BUILD] [--program LINUX-PROGRAM]... [--notices FILE]
  thirdparty.py copyright --out FILE                  the .deb's copyright file (Debian's DEP-5 format)
  thirdparty.py table --out FILE                      the programs' component list, as C++
A is one of: vantor, vantor-uploader, deb, vantor.exe, vantor-uploader.exe, setup.

Versions come from the build machine: dpkg-query for Debian's packages, the Windows Qt cache's
PREFIX.legal (scripts/build-qt-windows.sh) for Qt and what it bundles. A licence text or version that
cannot be found stops the generation with status 1: nothing ships with a notice left out.
"""
import argparse
import glob
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
ARTIFACTS = ("vantor", "vantor-uploader", "deb", "vantor.exe", "vantor-uploader.exe", "setup")
SNAPSHOT = "https://snapshot.debian.org/package/{source}/{version}/"


class Failure(Exception):
    """A fact the generation needs that the machine does not give; its text says what to do."""


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError as e:
        raise Failure(f"{path}: {e.strerror}") from e


def dpkg(package, field="Version"):
    try:
        out = subprocess.run(["dpkg-query", "-W", "-f=${" + field + "}", package],
                             capture_output=True, text=True, check=False)
    except FileNotFoundError as e:
        raise Failure("dpkg-query is missing: versions are read from Debian's package database") from e
    if out.returncode != 0 or not out.stdout:
        raise Failure(f"{package} is not installed: run scripts/install-deps.sh")
    return out.stdout.strip()


def project_version():
    m = re.search(r"project\(VantorUploader VERSION ([0-9.]+)", read(os.path.join(ROOT, "CMakeLists.txt")))
    if not m:
        raise Failure("CMakeLists.txt names no project version")
    return m.group(1)


def qt_legal(given):
    """The PREFIX.legal folder of the Windows Qt cache that matches the host's Qt package."""
    folder = given or os.environ.get("VANTOR_QT_LEGAL")
    if not folder:
        cache = os.environ.get("VANTOR_CACHE_DIR") or os.path.join(
            os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "vantor")
        version = re.sub(r"[^A-Za-z0-9.]", "_", dpkg("qt6-base-dev"))
        found = [d for d in glob.glob(os.path.join(cache, f"qt-{version}-mingw-w64-*.legal"))
                 if os.path.isfile(os.path.join(d, ".complete"))]
        if not found:
            raise Failure(f"no Qt licence folder in {cache}: run scripts/build-qt-windows.sh")
        folder = max(found, key=os.path.getmtime)
    if not os.path.isfile(os.path.join(folder, "source.txt")):
        raise Failure(f"{folder} is not a Qt licence folder (no source.txt): run scripts/build-qt-windows.sh")
    return folder


def debian_stanza(path, name):
    """The text of the first "License: NAME" paragraph of a Debian copyright file that has one."""
    lines = read(path).splitlines()
    for i, line in enumerate(lines):
        if re.fullmatch(r"License:\s*" + re.escape(name) + r"\s*", line):
            body = []
            for follow in lines[i + 1:]:
                if not follow.startswith((" ", "\t")):
                    break
                body.append("" if follow.strip() == "." else follow[1:])
            if any(b.strip() for b in body):
                return "\n".join(body)
    raise Failure(f"{path} has no text for the licence {name}")


def excerpt(path, start, end):
    text = read(path)
    a = text.find(start)
    b = text.find(end, a)
    if a < 0 or b < 0:
        raise Failure(f"{path} does not hold the text from '{start}' to '{end}'")
    return text[a:b + len(end)]


def attribution_version(given):
    """A bundled part's version as its attribution gives it; an address is no version, though the
    commit it names is."""
    text = str(given or "").strip()
    if "://" in text:
        commit = re.search(r"\b[0-9a-f]{40}\b", text)
        return commit.group(0) if commit else ""
    return text


class Manifest:
    """The manifest with the build machine's facts filled in; components are dicts."""

    def __init__(self, qt_legal_folder=None):
        path = os.path.join(HERE, "manifest.json")
        try:
            self.data = json.loads(read(path))
        except json.JSONDecodeError as e:
            raise Failure(f"{path}: not JSON: {e}") from e
        self._qt_given = qt_legal_folder
        self._legal = None
        self.components = {c["id"]: c for c in self.data["components"]}

    def legal(self):
        if self._legal is None:
            self._legal = qt_legal(self._qt_given)
        return self._legal

    def qt_debian_version(self):
        path = os.path.join(self.legal(), "source.txt")
        words = read(path).split()
        if len(words) < 2 or not re.fullmatch(r"[0-9][A-Za-z0-9.+~:-]*", words[1]):
            raise Failure(f"{path} names no qt6-base version (\"qt6-base VERSION\"): run scripts/build-qt-windows.sh")
        return words[1]

    def ids(self, artifact):
        if artifact not in self.data["artifacts"]:
            raise Failure(f"unknown artifact '{artifact}': one of {', '.join(ARTIFACTS)}")
        out = []
        for ref in self.data["artifacts"][artifact]["components"]:
            if ref == "@qt":
                more = [c["id"] for c in self.data["components"] if "qt" in c]
            elif ref.startswith("@"):
                more = self.ids(ref[1:])
            else:
                more = [ref]
            out += [m for m in more if m not in out]
        return out

    def contained_artifacts(self, artifact):
        """ARTIFACT itself and, for one that installs others (setup), those it names by "@NAME"."""
        refs = self.data["artifacts"][artifact]["components"]
        return [artifact] + [r[1:] for r in refs if r.startswith("@") and r[1:] in self.data["artifacts"]]

    def resolved(self, artifact):
        return [self.resolve(self.components[i]) for i in self.ids(artifact)]

    def resolve(self, c):
        c = dict(c)
        if c.get("qt") == "module":
            self._qt_module(c)
        elif "qt" in c:
            self._qt_bundled(c)
        else:
            self._debian(c)
        c.setdefault("copyright", [])
        c["textBodies"] = c.get("textBodies") or [(t, self.text(t)) for t in c.get("texts", [])]
        if not c["textBodies"] and not c.get("dependency"):
            raise Failure(f"{c['name']} is contained under {c['license']}, but its entry names no licence text "
                          f"(\"texts\")")
        return c

    def _debian(self, c):
        c["version"] = dpkg(c["debian"])
        # A binary package's version can differ from its source's (gcc-mingw-w64's binaries carry GCC's
        # version, their source is 25.2), and the archive files sources by the source's.
        source = dpkg(c["debian"], "source:Package")
        source_version = dpkg(c["debian"], "source:Version")
        if c.get("sourcePackage", source) != source:
            raise Failure(f"the manifest says {c['debian']} is built from {c['sourcePackage']}, dpkg says {source}")
        arch = dpkg(c["debian"], "Architecture")
        c["purl"] = f"pkg:deb/debian/{c['debian']}@{c['version']}?arch={arch}"
        c["source"] = (f"Debian's {source} source package, version {source_version}: "
                       + SNAPSHOT.format(source=source, version=source_version))

    def _qt_source(self, c):
        version = self.qt_debian_version()
        c["source"] = (f"Debian's qt6-base source package, version {version} (the one "
                       f"scripts/build-qt-windows.sh builds): " + SNAPSHOT.format(source="qt6-base", version=version))
        return version

    def _qt_module(self, c):
        version = self._qt_source(c)
        c["version"] = version.split("+")[0]
        c["purl"] = f"pkg:deb/debian/qt6-base@{version}?arch=source"

    def _qt_bundled(self, c):
        folder, ident = c["qt"].split(":")
        path = os.path.join(self.legal(), folder, "qt_attribution.json")
        entries = json.loads(read(path), strict=False)
        entries = entries if isinstance(entries, list) else [entries]
        entry = next((e for e in entries if e.get("Id") == ident), None)
        if entry is None:
            raise Failure(f"{path} has no entry {ident}")
        version = self._qt_source(c)
        c["source"] += f" ({folder})"
        c["name"] = entry["Name"]
        # Built from qt6-base's source, not a package of its own: the purl is that source's, the part
        # is the component's name (and "qt" its folder in the source).
        c["purl"] = f"pkg:deb/debian/qt6-base@{version}?arch=source"
        c["version"] = attribution_version(entry.get("Version"))
        if not c["version"]:
            del c["version"]
        c.setdefault("license", entry.get("LicenseId"))
        if not c.get("license"):
            raise Failure(f"{path}: {ident} names no licence; give the manifest's entry one")
        c["copyright"] = [x.strip() for x in (entry.get("Copyright") or "").splitlines() if x.strip()]
        files = entry.get("LicenseFiles") or ([entry["LicenseFile"]] if entry.get("LicenseFile") else [])
        bodies = [(f"{folder}/{f}", read(os.path.join(self.legal(), folder, f))) for f in files]
        if not bodies:  # no licence file: the attribution's own words (a dedication) are its terms
            if not c["copyright"]:
                raise Failure(f"{path}: {ident} has neither a licence file nor a copyright statement")
            bodies = [(ident, "\n".join(c["copyright"]))]
        c["textBodies"] = bodies

    def text(self, name):
        ref = self.data["texts"].get(name)
        if ref is None:
            raise Failure(f"the manifest says nowhere where the text of {name} is")
        if "stanza" in ref:
            body = debian_stanza(ref["file"], ref["stanza"])
        elif "from" in ref:
            body = excerpt(ref["file"], ref["from"], ref["to"])
        else:
            body = read(ref["file"])
        if not body.strip():
            raise Failure(f"{ref['file']}: the text of {name} is empty")
        return body


RELINK = """How the LGPL's terms are met for Qt
-----------------------------------
Qt is linked statically into {holder}. The LGPL-3.0 lets you replace it with a modified Qt. This program's whole source is public (its MIT licence is above), so the way to do that is to rebuild the program against your Qt with the project's own scripts. {built}

On Debian 12, in a clone of this program's repository:

    git checkout {commit}
    scripts/install-deps.sh --checks     # the compilers and Debian's packages the build uses
    apt-get source qt6-base={qt}
                                         # Qt's exact source (below); change it as you wish
    VANTOR_QT_SOURCE=/path/to/qtbase scripts/build-qt-windows.sh
                                         # builds that Qt static for Windows with the project's
                                         # configure flags, and prints its prefix
    VANTOR_QT_PREFIX=/that/prefix scripts/windows-build.sh
                                         # build/windows/src/app/vantor-uploader.exe, linked with
                                         # your Qt instead of the cached one

A static Qt {qtv} for x86_64-w64-mingw32 built another way works too, configured with the flags scripts/build-qt-windows.sh lists (configure_flags) and installed in /path/to/your/qt. The notices are made from Qt's own licence files, which the build reads from the folder /path/to/your/qt.legal beside it: copy into it your Qt source's LICENSES folder and every qt_attribution.json and licence file under its src folder, keeping their paths, and write "qt6-base VERSION" (your Qt's version) into its source.txt, as scripts/build-qt-windows.sh does for its own.

Qt's exact source is Debian's qt6-base source package, version {qt}:
    apt-get source qt6-base={qt}
    {snapshot}
"""


def wrapped(text, width=100):
    """TEXT with its prose lines filled to WIDTH; indented lines (commands) are kept as they are."""
    import textwrap
    return "\n".join(line if line.startswith(" ") or len(line) <= width else textwrap.fill(line, width, break_on_hyphens=False)
                     for line in text.split("\n"))


def source_commit():
    """The commit the program is built from, so the notices name the source that gives this very file;
    one commit gives one text. VANTOR_SOURCE_COMMIT names it where the source is no git clone."""
    commit = os.environ.get("VANTOR_SOURCE_COMMIT")
    if commit is None:
        try:
            out = subprocess.run(["git", "-C", ROOT, "rev-parse", "--verify", "-q", "HEAD"],
                                 capture_output=True, text=True, check=False)
            commit = out.stdout.strip()
        except FileNotFoundError:
            commit = ""
    if not re.fullmatch(r"[0-9a-f]{40}", commit):
        return None
    return commit


def relink(m, artifact):
    """The paragraph on replacing the static Qt, naming the programs of ARTIFACT that hold it."""
    holders = [a for a in m.contained_artifacts(artifact) if "@qt" in m.data["artifacts"][a]["components"]]
    holder = holders[0] if artifact in holders else f"{', '.join(holders)}, which {artifact} installs"
    qt = m.qt_debian_version()
    commit = source_commit()
    if commit:
        built = f"It was built from the commit {commit} of this program's repository."
    else:
        built = (f"It was built from version {project_version()} of this program's source; no commit is "
                 f"known (the source was no git clone): COMMIT below is that version's.")
        commit = "COMMIT"
    return wrapped(RELINK.format(holder=holder, built=built, commit=commit, qt=qt, qtv=qt.split("+")[0],
                                 snapshot=SNAPSHOT.format(source="qt6-base", version=qt)))


def heading(text, mark="-"):
    return f"{text}\n{mark * len(text)}\n"


def component_line(c):
    version = c.get("version") or "(no version)"
    return f"  {c['name']:<44} {version:<24} {c['license']}"


def notices(m, artifact):
    product = m.data["product"]
    described = m.data["artifacts"][artifact]["description"]
    parts = m.resolved(artifact)
    held = [c for c in parts if not c.get("dependency")]
    used = [c for c in parts if c.get("dependency")]
    out = [heading(f"Third-party notices: {artifact} ({described})", "=")]
    out.append(f"{artifact} is {product['name']} {project_version()}, Copyright {', '.join(product['copyright'])},\n"
               f"under the {product['license']} licence:\n\n{read(os.path.join(ROOT, product['licenseFile'])).strip()}\n")
    out.append(heading("What it contains of others' work") + "\n".join(component_line(c) for c in held) + "\n")
    if used:
        out.append(heading("What it uses and does not contain")
                   + "\n".join(f"{component_line(c)}\n    {c['description']}; its licence comes with Debian's "
                               f"package (/usr/share/doc/{c['debian']}/copyright)" for c in used) + "\n")
    if any(c.get("qt") for c in held):
        out.append(relink(m, artifact))
    shared = {}
    for c in held:
        out.append(heading(f"{c['name']} {c.get('version', '')}".strip()))
        out.append(f"Licence: {c['license']}\n")
        if c["copyright"]:
            out.append("Copyright:\n" + "\n".join("  " + x for x in c["copyright"]) + "\n")
        out.append(f"Source: {c['source']}\n")
        for name, body in c["textBodies"]:
            if name in m.data["texts"]:
                shared[name] = body
                out.append(f"Licence text: {name}, in full at the end.\n")
            else:
                out.append(f"Licence text ({name}):\n\n{body.strip()}\n")
    out.append(heading("Licence texts", "="))
    for name in sorted(shared):
        out.append(heading(name) + shared[name].strip() + "\n")
    return "\n".join(out)


def dep5_name(spdx):
    """An SPDX licence expression in the words of Debian's copyright format (MIT is Expat there)."""
    words = {"MIT": "Expat", "AND": "and", "OR": "or", "WITH": "with"}
    return " ".join(words.get(w, w) for w in spdx.split())


def copyright_file(m):
    """The .deb's copyright file. Only the programs hold others' code, so their files get one stanza of
    their own, with every holder and the licences combined, and a Comment naming each component: in
    Debian's format the last stanza whose Files match a file is the one that counts, so a stanza per
    component for the same files would leave all but one unsaid. Everything else is ours alone."""
    product = m.data["product"]
    ours = dep5_name(product["license"])
    # A License paragraph is the licence's text alone: the holders are the Copyright fields' words, and
    # our own line inside it would read as the embedded libraries' too.
    licences = {ours: debian_body(without_copyright(read(os.path.join(ROOT, product["licenseFile"]))))}
    held = [c for c in m.resolved("deb") if not c.get("dependency")]
    holders, expression, comment = list(product["copyright"]), [ours], []
    for c in held:
        holders += [x for x in c["copyright"] if x not in holders]
        name = dep5_name(c["license"])
        if name not in expression:
            expression.append(name if " " not in name else f"({name})")
        comment.append(f"{c['name']} {c['version']}, {c['description']}, Copyright {'; '.join(c['copyright'])}, "
                       f"under {name}; from {c['source']}")
        for text, body in c["textBodies"]:
            licences.setdefault(dep5_name(text), debian_body(body))
    out = ["Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
           f"Upstream-Name: {product['name']}", "Source: the Vantor Program Uploader repository", "",
           "Files: *", "Copyright: " + "\n           ".join(product["copyright"]), f"License: {ours}", ""]
    if held:
        out += ["Files: usr/bin/*", "Copyright: " + "\n           ".join(holders),
                "License: " + " and ".join(expression),
                "Comment: Both programs compile in the works of others below, and their licences hold for them"
                " together with this program's own.", debian_body("\n".join(comment)), ""]
    for licence in re.findall(r"[^\s()]+", " ".join(expression)):
        if licence not in ("and", "or", "with") and licence not in licences:
            raise Failure(f"the copyright file names the licence {licence}, but no entry gives its text")
    for name, body in licences.items():
        out += [f"License: {name}", body, ""]
    return "\n".join(out).rstrip("\n") + "\n"


def without_copyright(text):
    """A licence file's terms without its title and copyright lines (LICENSE opens with both)."""
    lines = text.strip().splitlines()
    while lines and (re.match(r"\s*(Copyright\b|\(c\)|MIT License\s*$)", lines[0], re.I) or not lines[0].strip()):
        lines.pop(0)
    return "\n".join(lines)


def debian_body(text):
    lines = text.strip().splitlines()
    return "\n".join(" " + line.rstrip() if line.strip() else " ." for line in lines)


def cxx_string(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\t", "\\t")
    lines = escaped.split("\n")
    return "\n            ".join('"' + line + ('\\n"' if i < len(lines) - 1 else '"') for i, line in enumerate(lines))


def table(m, platform, desktop=True):
    """C++ for the notices library: this platform's programs, their components and notices."""
    artifacts = ("vantor.exe", "vantor-uploader.exe") if platform == "windows" else ("vantor", "vantor-uploader")
    artifacts = artifacts if desktop else artifacts[:1]
    out = ["// Made by packaging/third-party/thirdparty.py from its manifest.json at configure time.",
           '#include "notices/ThirdParty.h"', "", "namespace vantor::notices {", "",
           "const std::vector<ThirdParty::Program>& ThirdParty::programs()", "{",
           "    static const std::vector<Program> table = {"]
    for artifact in artifacts:
        out.append(f"        {{{cxx_string(artifact.replace('.exe', ''))},")
        out.append("         {")
        for c in m.resolved(artifact):
            out.append(f"             {{{cxx_string(c['name'])}, {cxx_string(c.get('version', ''))}, "
                       f"{cxx_string(c['license'])}, {'true' if c.get('dependency') else 'false'}}},")
        out.append("         },")
        out.append("         " + cxx_string(notices(m, artifact)) + "},")
    out += ["    };", "    return table;", "}", "", "} // namespace vantor::notices", ""]
    return "\n".join(out)


def build_folder(path):
    """The build folder a link map was written in: the nearest folder above it with a CMakeCache.txt."""
    folder = os.path.dirname(os.path.abspath(path))
    while not os.path.isfile(os.path.join(folder, "CMakeCache.txt")):
        if os.path.dirname(folder) == folder:
            return None
        folder = os.path.dirname(folder)
    return folder


def linked_files(text):
    """What a GNU ld map says went into the program: each object file it loaded, and each archive it
    took at least one member of (an archive it only searched adds nothing), with the members taken."""
    loaded = re.findall(r"(?m)^LOAD (\S+)$", text)
    if not loaded:
        raise Failure("this is not a GNU ld link map (no LOAD lines): link with -Wl,-Map=FILE")
    taken = {}
    for archive, member in re.findall(r"(?m)^(\S+?\.a)\(([^)\s]+)\)$", text):
        taken.setdefault(archive, set()).add(member)
    for f in loaded:
        if not f.endswith(".a") and f != "dll":
            taken.setdefault(f, set())
    return taken


def member_stem(member):
    """A member's source name: mingw-w64's archives prefix their objects (lib64_libmingwex_a-gdtoa.o)."""
    return re.sub(r"^lib\d*_lib\w+?_a-", "", re.sub(r"\.o(bj)?$", "", member))


def member_owners(m, artifact, archive, member):
    """The entries of the artifact whose "members" rules for ARCHIVE name MEMBER (rules are whole-name
    patterns of its source name), or None when no entry of the manifest rules that archive by member:
    one whose code is under several licences, so that the archive alone says nothing."""
    ruled, owners = False, []
    for c in m.data["components"]:
        patterns = c.get("members", {}).get(archive)
        if patterns is None:
            continue
        ruled = True
        if c["id"] in m.ids(artifact) and any(re.fullmatch(p, member_stem(member)) for p in patterns):
            owners.append(c["id"])
    return owners if ruled else None


def check_link_map(m, artifact, path):
    """Every archive and object file the linker took from outside the build is an entry's of the
    artifact, or one of Windows' own import libraries, which the manifest names as the system's; and
    of an archive that holds code under several licences, every member taken is some entry's."""
    owners = {a for i in m.ids(artifact) for a in m.components[i].get("archives", [])}
    system = set(m.data.get("system", {}).get("archives", []))
    build = build_folder(path)
    problems = []
    for linked, members in sorted(linked_files(read(path)).items()):
        if not os.path.isabs(linked):  # the build's own: ninja links what it made by relative path
            continue
        if build and os.path.realpath(linked).startswith(os.path.realpath(build) + os.sep):
            continue
        name = os.path.basename(linked)
        if name not in owners and name not in system:
            problems.append(f"{path}: {linked} is linked into {artifact}, but no manifest entry of it names "
                            f"{name} (an entry's \"archives\", or \"system\" for Windows' own import libraries)")
            continue
        for member in sorted(members):
            if member_owners(m, artifact, name, member) == []:
                problems.append(f"{path}: {name}({member}) is linked into {artifact}, but no entry's \"members\" "
                                f"rule for {name} names {member_stem(member)}: find its source file's licence (for "
                                f"mingw-w64, /usr/share/doc/mingw-w64-common/copyright) and add it to the entry "
                                f"under that licence")
    return problems


def check_includes(m, artifact, path):
    """Every include folder outside the tree, in the compile commands, is some entry's."""
    entries = json.loads(read(path))
    folders = set()
    for e in entries:
        args = e.get("arguments") or e.get("command", "").split()
        for i, a in enumerate(args):
            for flag in ("-isystem", "-I"):
                if a == flag and i + 1 < len(args):
                    folders.add(args[i + 1])
                elif a.startswith(flag) and len(a) > len(flag) and flag == "-I":
                    folders.add(a[2:])
    build = os.path.dirname(os.path.abspath(path))
    trees = (os.path.realpath(ROOT) + os.sep, os.path.realpath(build))
    # A folder is an entry's when a package of the entry installed it: a folder beside an entry's
    # (/usr/include/libxml2 beside nlohmann's) is some other package's.
    outside = {os.path.normpath(f) for f in folders if not os.path.realpath(f).startswith(trees)}
    return unowned(m, artifact, outside, f"an include folder of {path}, compiled into")


def check_headers(m, artifact, headers):
    """Each third-party header the build found (its CMake variables) is an entry's probe."""
    probes = [p for i in m.ids(artifact) for p in m.components[i].get("probes", [])]
    problems = []
    for header in headers:
        if not os.path.isfile(header):
            problems.append(f"{header}: the build uses it, yet it is not there")
        elif not any(header.replace(os.sep, "/").endswith("/" + p) for p in probes):
            problems.append(f"{header}: compiled into {artifact}, but no manifest entry of it names it")
    return problems


def owning_packages(paths):
    """The Debian packages that installed each of PATHS (dpkg-query -S), by path; none for a path no
    package holds."""
    owners = {p: [] for p in paths}
    if not paths:
        return owners
    try:
        out = subprocess.run(["dpkg-query", "-S"] + sorted(paths), capture_output=True, text=True, check=False)
    except FileNotFoundError as e:
        raise Failure("dpkg-query is missing: what the build read is traced to Debian's packages") from e
    for line in out.stdout.splitlines():
        packages, _, path = line.partition(": ")
        if path in owners:
            owners[path] = [p.split(":")[0].strip() for p in packages.split(",")]
    return owners


def package_owners(m, artifact):
    """Each Debian package an entry of the artifact stands for ("debian" and "packages"), by name."""
    out = {}
    for i in m.ids(artifact):
        c = m.components[i]
        for package in ([c["debian"]] if c.get("debian") else []) + c.get("packages", []):
            out.setdefault(package, i)
    return out


def unowned(m, artifact, paths, what):
    """Problems for each of PATHS that no package of an entry of the artifact installed."""
    known = package_owners(m, artifact)
    problems = []
    for path, packages in sorted(owning_packages(paths).items()):
        if not packages:
            problems.append(f"{path}: {what} {artifact}, but no Debian package holds it, so no manifest entry can")
        elif not any(p in known for p in packages):
            problems.append(f"{path}: {what} {artifact}, from Debian's {', '.join(packages)}, which no manifest "
                            f"entry of {artifact} names (an entry's \"debian\" or \"packages\")")
    return problems


def check_deps(m, artifact, build):
    """Every header the shipped code read (ninja's record of each object's headers, src/ only: tests
    and benchmarks ship nowhere) from outside the source and build trees came from a package of an
    entry: what the compiler really used, whether found by -I or in /usr/include itself."""
    try:
        out = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True, check=False)
    except FileNotFoundError as e:
        raise Failure("ninja is missing: the headers the build read are ninja's record") from e
    if out.returncode != 0:
        raise Failure(f"ninja -C {build} -t deps failed: {out.stderr.strip()}")
    headers, shipped, objects = set(), False, 0
    trees = (os.path.realpath(ROOT) + os.sep, os.path.realpath(build) + os.sep)
    for line in out.stdout.splitlines():
        if line and not line.startswith(" "):
            shipped = line.startswith("src/")
            objects += shipped
        elif shipped and line.strip():
            path = os.path.normpath(os.path.join(build, line.strip()))
            if not os.path.realpath(path).startswith(trees):
                headers.add(path)
    if not objects:
        return [f"{build}: ninja records no compiled object of src/: build it before the check"]
    return unowned(m, artifact, headers, "compiled into")


def shared_library(name, runpath):
    """Where NAME is, as the package that installed it names the path: with /lib and /usr/lib one
    folder (merged /usr), dpkg knows a library by the folder its package put it in."""
    found = [os.path.join(f, name) for f in runpath + ["/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu",
                                                        "/lib", "/usr/lib"] if os.path.exists(os.path.join(f, name))]
    owned = [p for p, packages in owning_packages(found).items() if packages]
    return (owned or found or [None])[0]


def check_needed(m, program):
    """Every shared library a Linux program needs (readelf -d) comes from a package of an entry of the
    artifact named as the program."""
    artifact = os.path.basename(program)
    try:
        out = subprocess.run(["readelf", "-d", "-W", program], capture_output=True, text=True, check=False)
    except FileNotFoundError as e:
        raise Failure("readelf is missing (binutils): a program's libraries are read from its dynamic section") from e
    if out.returncode != 0:
        raise Failure(f"readelf -d {program}: {out.stderr.strip()}")
    runpath = [f for r in re.findall(r"\((?:RUNPATH|RPATH)\).*\[(.*)\]", out.stdout) for f in r.split(":")]
    problems, paths = [], set()
    for name in re.findall(r"\(NEEDED\).*\[(.*)\]", out.stdout):
        path = shared_library(name, runpath)
        if path is None:
            problems.append(f"{program} needs {name}, which is not on this machine")
        else:
            paths.add(path)
    return problems + unowned(m, artifact, paths, "linked into")


def check_notices(m, artifact, path):
    text = read(path)
    problems = []
    for c in m.resolved(artifact):
        if c.get("dependency"):
            continue
        for name, body in c["textBodies"]:
            if body.strip() not in text:
                problems.append(f"{path}: the licence text {name} of {c['name']} is missing")
    return problems


def timestamp():
    """The commit's time when SOURCE_DATE_EPOCH gives it, so that one commit gives one SBOM."""
    import datetime
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch is None:
        out = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], capture_output=True, text=True)
        epoch = out.stdout.strip() or "0"
    if not epoch.isdigit():
        raise Failure(f"SOURCE_DATE_EPOCH is '{epoch}', not a number of seconds since 1970")
    moment = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def sbom(m, artifact, path):
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    product = m.data["product"]
    components = []
    for c in m.resolved(artifact):
        entry = {"type": "library", "bom-ref": c["id"], "name": c["name"]}
        if c.get("version"):
            entry["version"] = c["version"]
        entry["licenses"] = [{"expression": c["license"]}]
        if c["copyright"]:
            entry["copyright"] = "\n".join(c["copyright"])
        if c.get("purl"):
            entry["purl"] = c["purl"]
        entry["properties"] = [{"name": "vantor:linkage",
                                "value": "dynamic, not contained" if c.get("dependency") else "contained"},
                               {"name": "vantor:source", "value": c["source"]}]
        components.append(entry)
    name = os.path.basename(path)
    document = {
        "bomFormat": "CycloneDX", "specVersion": "1.5",
        "serialNumber": f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, 'sha256:' + digest)}", "version": 1,
        "metadata": {
            "timestamp": timestamp(),
            "tools": {"components": [{"type": "application", "name": "thirdparty.py",
                                      "version": project_version()}]},
            "component": {"type": "application", "bom-ref": "artifact", "name": name,
                          "version": project_version(), "description": m.data["artifacts"][artifact]["description"],
                          "supplier": {"name": product["supplier"]},
                          "licenses": [{"license": {"id": product["license"]}}],
                          "hashes": [{"alg": "SHA-256", "content": digest}],
                          "properties": [{"name": "vantor:artifact", "value": artifact}]},
        },
        "components": components,
        "dependencies": [{"ref": "artifact", "dependsOn": [c["bom-ref"] for c in components]}]
                        + [{"ref": c["bom-ref"]} for c in components],
    }
    return json.dumps(document, indent=2, ensure_ascii=False) + "\n"


VALIDATOR = r"""
const CDX = require('@cyclonedx/cyclonedx-library');
const fs = require('fs');
(async () => {
  let bad = 0;
  for (const file of process.argv.slice(1)) {
    const text = fs.readFileSync(file, 'utf8');
    const version = JSON.parse(text).specVersion;
    const validator = new CDX.Validation.JsonStrictValidator(version);
    const errors = await validator.validate(text);
    if (errors === null) {
      console.log(`${file}: valid CycloneDX ${version}`);
    } else {
      bad = 1;
      console.log(`${file}: not valid CycloneDX ${version}:`);
      console.log(JSON.stringify(errors, null, 2));
    }
  }
  process.exit(bad);
})().catch(e => { console.error(String(e)); process.exit(2); });
"""


def npm_folder():
    cache = os.environ.get("VANTOR_CACHE_DIR") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "vantor")
    return os.path.join(cache, "npm")


def validate(files):
    """Validates with the CycloneDX project's own library and schemas, installed outside the clone on
    first use (with the JSON schema validators it needs and does not install itself)."""
    folder = npm_folder()
    if not os.path.isdir(os.path.join(folder, "node_modules", "ajv-formats-draft2019")):
        os.makedirs(folder, exist_ok=True)
        run = subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", folder,
                              "@cyclonedx/cyclonedx-library", "ajv", "ajv-formats", "ajv-formats-draft2019"],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise Failure("npm could not install @cyclonedx/cyclonedx-library:\n" + run.stderr[-2000:])
    env = dict(os.environ, NODE_PATH=os.path.join(folder, "node_modules"))
    return subprocess.run(["node", "-e", VALIDATOR, "--"] + [os.path.abspath(f) for f in files], env=env).returncode


def sbom_artifact(document):
    """The manifest's artifact an SBOM describes: its own "vantor:artifact" property."""
    component = document.get("metadata", {}).get("component", {})
    for p in component.get("properties", []):
        if p.get("name") == "vantor:artifact" and p.get("value") in ARTIFACTS:
            return p["value"]
    return None


def sbom_problems(m, path, artifact_file=None):
    """What an SBOM says otherwise than the manifest and its artifact: a component of the artifact's
    entries missing or with another licence, version or purl, one the manifest lacks, a bom-ref twice,
    and, with the artifact's file (given, or the SBOM's name less .cdx.json beside it), its SHA-256."""
    try:
        document = json.loads(read(path))
    except json.JSONDecodeError as e:
        return [f"{path}: not JSON: {e}"]
    artifact = sbom_artifact(document)
    if artifact is None:
        return [f"{path}: names no artifact of the manifest (the component's vantor:artifact property)"]
    components = document.get("components", [])
    refs = [c.get("bom-ref") for c in components] + [document["metadata"]["component"].get("bom-ref")]
    problems = [f"{path}: the bom-ref {r} is given {refs.count(r)} times" for r in sorted(set(map(str, refs)))
                if list(map(str, refs)).count(r) > 1]
    given = {c.get("bom-ref"): c for c in components}
    for c in m.resolved(artifact):
        entry = given.pop(c["id"], None)
        if entry is None:
            problems.append(f"{path}: {c['name']} ({c['id']}) is in {artifact}, but not in its SBOM")
            continue
        licences = [x.get("expression") or x.get("license", {}).get("id") for x in entry.get("licenses", [])]
        for field, want, have in (("licence", c["license"], licences[0] if len(licences) == 1 else licences),
                                  ("name", c["name"], entry.get("name")), ("version", c.get("version"), entry.get("version")),
                                  ("purl", c.get("purl"), entry.get("purl"))):
            if want != have:
                problems.append(f"{path}: {c['id']}'s {field} is {have!r}, the manifest's is {want!r}")
    problems += [f"{path}: {ref} is no component of {artifact} in the manifest" for ref in sorted(map(str, given))]
    return problems + hash_problems(path, document, artifact_file)


def hash_problems(path, document, artifact_file):
    hashes = [h.get("content", "") for h in document["metadata"]["component"].get("hashes", [])
              if h.get("alg") == "SHA-256"]
    if len(hashes) != 1 or not re.fullmatch(r"[0-9a-f]{64}", hashes[0]):
        return [f"{path}: the artifact's SHA-256 is missing or not 64 hexadecimal digits"]
    if artifact_file is None and path.endswith(".cdx.json") and os.path.isfile(path[:-len(".cdx.json")]):
        artifact_file = path[:-len(".cdx.json")]
    if artifact_file is None:
        print(f"{path}: no artifact beside it (NAME.cdx.json beside NAME) nor --file: its SHA-256 is not checked")
        return []
    with open(artifact_file, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    if digest != hashes[0]:
        return [f"{path}: the SHA-256 of {artifact_file} is {digest}, the SBOM says {hashes[0]}"]
    print(f"{path}: the SHA-256 of {artifact_file} matches")
    return []


def write(path, text):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--qt-legal", help="the Windows Qt cache's PREFIX.legal folder (found in the cache by default)")
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("notices")
    p.add_argument("--artifact", required=True, choices=ARTIFACTS)
    p.add_argument("--out", required=True)
    p = sub.add_parser("sbom")
    p.add_argument("--artifact", required=True, choices=ARTIFACTS)
    p.add_argument("--file", required=True)
    p.add_argument("--out", required=True)
    p = sub.add_parser("validate")
    p.add_argument("--file", help="the artifact of the one SBOM given, whose SHA-256 is checked (by default an SBOM's "
                                  "name less .cdx.json, when that file is beside it)")
    p.add_argument("files", nargs="+")
    p = sub.add_parser("check")
    p.add_argument("--artifact", required=True, choices=ARTIFACTS)
    p.add_argument("--link-map")
    p.add_argument("--compile-commands")
    p.add_argument("--notices")
    p.add_argument("--header", action="append", default=[], help="a third-party header the build compiles")
    p.add_argument("--deps", metavar="BUILD", help="a ninja build folder: every header its src/ objects read")
    p.add_argument("--program", action="append", default=[],
                   help="a Linux program, named as its artifact: every library it needs (readelf -d)")
    p.add_argument("--remove-on-failure", metavar="FILE",
                   help="the program the link map is of: removed when the check fails, so that the next build "
                        "links and checks it again instead of taking it as built")
    p = sub.add_parser("copyright")
    p.add_argument("--out", required=True)
    p = sub.add_parser("table")
    p.add_argument("--platform", choices=("linux", "windows"), default="linux")
    p.add_argument("--no-desktop", action="store_true", help="the command-line program only (no Qt)")
    p.add_argument("--out", required=True)
    args = parser.parse_args(argv)
    try:
        m = Manifest(args.qt_legal)
        if args.command == "notices":
            write(args.out, notices(m, args.artifact))
        elif args.command == "sbom":
            write(args.out, sbom(m, args.artifact, args.file))
        elif args.command == "validate":
            if args.file and len(args.files) != 1:
                raise Failure("--file is the artifact of one SBOM: give one SBOM with it")
            status = validate(args.files)
            problems = [p for f in args.files for p in sbom_problems(m, f, args.file)]
            for problem in problems:
                print(problem, file=sys.stderr)
            return status or (1 if problems else 0)
        elif args.command == "copyright":
            write(args.out, copyright_file(m))
        elif args.command == "table":
            text = table(m, args.platform, not args.no_desktop)
            if not os.path.exists(args.out) or read(args.out) != text:  # unchanged: nothing rebuilds
                write(args.out, text)
        elif args.command == "check":
            problems = []
            if args.link_map:
                problems += check_link_map(m, args.artifact, args.link_map)
            if args.compile_commands:
                problems += check_includes(m, args.artifact, args.compile_commands)
            problems += check_headers(m, args.artifact, args.header)
            if args.deps:
                problems += check_deps(m, args.artifact, args.deps)
            for program in args.program:
                problems += check_needed(m, program)
            if args.notices:
                problems += check_notices(m, args.artifact, args.notices)
            for problem in problems:
                print(problem, file=sys.stderr)
            if problems and args.remove_on_failure and os.path.exists(args.remove_on_failure):
                os.remove(args.remove_on_failure)
            return 1 if problems else 0
    except Failure as e:
        print(f"thirdparty.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
