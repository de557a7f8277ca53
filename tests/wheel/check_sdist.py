"""Checks that an sdist holds exactly the source files the build reads, the license, and the README whole.

The README reads whole when every picture, page and example it points to is in
the sdist beside it: its relative links, and the examples/ and docs/ paths it
names in code spans.

usage: check_sdist.py SDIST REPO
  SDIST  the .tar.gz that python -m build --sdist wrote
  REPO   the git work tree it was built from
"""

import re
import subprocess
import sys
import tarfile

# What the build, the metadata and a reader of the sdist need; a file added
# under these is shipped, anything elsewhere has to be added here on purpose.
SHIPPED = ["CMakeLists.txt", "pyproject.toml", "LICENSE", "README.md", "docs", "examples", "cmake", "src", "stubs"]
NEVER = ("build/", ".venv/", "out/", "dist/", ".git", "tests/", "bench/", "fuzz/")
# Markdown links and images, and code spans naming a file or directory of the sdist.
POINTED_TO = [re.compile(r"!?\[[^\]]*\]\((?!https?:|mailto:|#)([^)#\s]+)"),
              re.compile(r"`((?:examples|docs)/[^`\s]*)`")]


def pointed_to_by_readme(readme):
    return sorted({target.rstrip("/") for pattern in POINTED_TO for target in pattern.findall(readme)})


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sdist, repo = sys.argv[1:]
    with tarfile.open(sdist) as archive:
        members = archive.getmembers()
        top = members[0].name.split("/")[0]
        readme = archive.extractfile(f"{top}/README.md").read().decode()
    wrong_kind = [m.name for m in members if not (m.isfile() or m.isdir())]
    outside = [m.name for m in members if m.name != top and not m.name.startswith(f"{top}/")]
    shipped = {m.name[len(top) + 1:] for m in members if m.isfile() and m.name.startswith(f"{top}/")}
    # Untracked files count as git sees them: a new source is shipped before it is committed.
    listed = ["git", "-C", repo, "ls-files", "--cached", "--others", "--exclude-standard", "--", *SHIPPED]
    tracked = set(subprocess.run(listed, capture_output=True, text=True, check=True).stdout.splitlines())
    expected = tracked | {"PKG-INFO"}
    problems = []
    if missing := sorted(expected - shipped):
        problems.append(f"missing from the sdist: {missing}")
    if extra := sorted(shipped - expected):
        problems.append(f"in the sdist but not one of its source files: {extra}")
    if forbidden := sorted(n for n in shipped if n.startswith(NEVER)):
        problems.append(f"never shipped, yet present: {forbidden}")
    if wrong_kind or outside:
        problems.append(f"links, devices or paths outside {top}/: {wrong_kind + outside}")
    pointed = pointed_to_by_readme(readme)
    if absent := [p for p in pointed if p not in shipped and not any(n.startswith(f"{p}/") for n in shipped)]:
        problems.append(f"the README points to what the sdist lacks: {absent}")
    if not any(p.startswith("examples/") for p in pointed) or not any(p.startswith("docs/images/") for p in pointed):
        problems.append(f"the README's pointers were not found (examples/ and docs/images/ expected): {pointed}")
    if len(tracked) < len(SHIPPED):
        problems.append(f"git ls-files found only {sorted(tracked)}: is {repo} the work tree?")
    for problem in problems:
        print(f"sdist: FAIL: {problem}")
    if problems:
        sys.exit(1)
    print(f"sdist: {sdist.rsplit('/', 1)[-1]}: {len(shipped)} files, exactly the build's sources, the license "
          f"and the README with the {len(pointed)} pictures, pages and examples it points to (no tests, benchmarks, "
          "build output or venv)")


if __name__ == "__main__":
    main()
