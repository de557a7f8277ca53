"""Checks the package metadata of a wheel and an sdist as an index shows it: license, classifiers, description.

usage: check_metadata.py DIST...   (each a .whl or .tar.gz)
"""

import email.parser
import re
import sys
import tarfile
import zipfile

import trove_classifiers

LICENSE_LINE = "Copyright (c) 2026 the quorvel_torso_kinematics authors"
REQUIRED_CLASSIFIERS = {
    "Programming Language :: Python :: 3.13", "Programming Language :: C++", "Topic :: Scientific/Engineering",
    "Operating System :: POSIX :: Linux", "Intended Audience :: Science/Research", "Typing :: Typed",
}
# Inline links and images, reference definitions, HTML src/href and autolinks.
LINK_TARGETS = [
    re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)"),
    re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)", re.M),
    re.compile(r"""(?:src|href)\s*=\s*["']([^"']*)["']""", re.I),
    re.compile(r"<([a-z][a-z0-9+.-]*:[^>\s]*)>", re.I),
]
ABSOLUTE = re.compile(r"(https?|mailto):", re.I)


def read(dist):
    """The metadata text and the license file's text, from where each installer reads them."""
    if dist.endswith(".whl"):
        with zipfile.ZipFile(dist) as archive:
            names = archive.namelist()
            metadata = next(n for n in names if re.fullmatch(r"[^/]+\.dist-info/METADATA", n))
            license_name = metadata.replace("METADATA", "licenses/LICENSE")
            license_text = archive.read(license_name).decode() if license_name in names else None
            return archive.read(metadata).decode(), license_text
    with tarfile.open(dist) as archive:
        names = archive.getnames()
        top = names[0].split("/")[0]
        license_text = archive.extractfile(f"{top}/LICENSE").read().decode() if f"{top}/LICENSE" in names else None
        return archive.extractfile(f"{top}/PKG-INFO").read().decode(), license_text


def fenced_code_removed(markdown):
    # Link syntax inside code blocks is code, not a link.
    return re.sub(r"^```.*?^```", "", markdown, flags=re.M | re.S)


def problems(dist):
    text, license_text = read(dist)
    message = email.parser.Parser().parsestr(text)
    found = []
    version = tuple(int(p) for p in message["Metadata-Version"].split("."))
    if version < (2, 4):
        found.append(f"Metadata-Version {message['Metadata-Version']} cannot carry License-Expression (needs 2.4)")
    if message["License-Expression"] != "MIT":
        found.append(f"License-Expression is {message['License-Expression']!r}, expected 'MIT'")
    if message.get_all("License-File") != ["LICENSE"]:
        found.append(f"License-File is {message.get_all('License-File')}, expected ['LICENSE']")
    if not license_text or not license_text.startswith("MIT License") or LICENSE_LINE not in license_text:
        found.append(f"the LICENSE file is missing or not the project's MIT text: {license_text and license_text[:80]!r}")
    classifiers = message.get_all("Classifier") or []
    unknown = [c for c in classifiers if c not in trove_classifiers.classifiers]
    deprecated = [c for c in classifiers if c in trove_classifiers.deprecated_classifiers]
    # An index refuses a License classifier beside License-Expression.
    license_classifiers = [c for c in classifiers if c.startswith("License ::")]
    for what, which in (("unknown", unknown), ("deprecated", deprecated), ("license", license_classifiers),
                        ("missing", sorted(REQUIRED_CLASSIFIERS - set(classifiers)))):
        if which:
            found.append(f"{what} classifiers: {which}")
    if not any(c.startswith("Development Status :: ") for c in classifiers):
        found.append("no Development Status classifier")
    keywords = [k for k in (message["Keywords"] or "").split(",") if k.strip()]
    if not keywords:
        found.append("no keywords")
    if message["Description-Content-Type"] != "text/markdown":
        found.append(f"Description-Content-Type is {message['Description-Content-Type']!r}, expected text/markdown")
    description = message.get_payload()
    if len(description.strip().splitlines()) < 10:
        found.append(f"the description is missing or too short to say what the package is: {description[:200]!r}")
    prose = fenced_code_removed(description)
    relative = sorted({t for pattern in LINK_TARGETS for t in pattern.findall(prose) if not ABSOLUTE.match(t)})
    if relative:
        found.append(f"the description links relative paths, which break on an index: {relative}")
    images = re.findall(r"!\[[^\]]*\]\(([^)]*)\)|<img\b[^>]*>", prose, re.I)
    if images:
        found.append(f"the description shows images: {images}")
    summary = (f"License-Expression MIT with its LICENSE, {len(classifiers)} known classifiers, "
               f"{len(keywords)} keywords, a {len(description.splitlines())}-line markdown "
               "description without relative links or images")
    return found, summary


def main():
    dists = sys.argv[1:]
    if not dists:
        sys.exit(__doc__)
    failed = False
    for dist in dists:
        found, summary = problems(dist)
        for problem in found:
            print(f"metadata: FAIL: {dist.rsplit('/', 1)[-1]}: {problem}")
        failed |= bool(found)
    if not failed:
        print(f"metadata: {' and '.join(d.rsplit('/', 1)[-1] for d in dists)}: {summary}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
