"""Smoke test of a built wheel, run by the interpreter of a throw-away venv that
holds nothing but that wheel and NumPy, from a directory outside the source tree.

usage: smoke.py DIST MYPY_PYTHON
  DIST         the wheel (.whl) installed into this venv, or the sdist (.tar.gz)
               that pip built and installed into it
  MYPY_PYTHON  an interpreter that has mypy (it checks against this venv)
"""

import importlib.metadata
import importlib.util
import math
import os
import platform
import re
import subprocess
import sys
import sysconfig
import zipfile

MODULE = "quorvel_torso_kinematics"
STUBS = f"{MODULE}-stubs"
COMPANION = f"{MODULE}_batch"
failures = []
passed = 0


def check(ok, what):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)
        print(f"wheel smoke: FAIL: {what}", flush=True)
    return ok


def close(a, b, tol=1e-6):
    return len(a) == len(b) and all(math.isclose(x, y, rel_tol=0, abs_tol=tol) for x, y in zip(a, b))


def check_file_list(names, where):
    extension = re.compile(rf"{MODULE}\.cpython-313-[^/]+\.so")
    companion = re.compile(rf"{COMPANION}\.cpython-313-[^/]+\.so|{COMPANION}-stubs/__init__\.pyi")
    dist_info = re.compile(rf"{MODULE}-[^/]+\.dist-info/")
    strays = [n for n in names if not (extension.fullmatch(n) or companion.fullmatch(n) or n == f"{STUBS}/__init__.pyi"
                                        or dist_info.match(n))]
    check(not strays, f"{where} carries files beyond the module, its stubs and metadata: {strays}")
    cpp_package = [n for n in names if n.endswith((".h", ".hpp", ".a", ".cmake")) or "cmake" in n.lower()]
    check(not cpp_package, f"{where} carries headers, static libraries or CMake files: {cpp_package}")
    check(sum(bool(extension.fullmatch(n)) for n in names) == 1, f"{where} has no single extension module: {names}")
    check(sum(bool(companion.fullmatch(n)) for n in names) == 2, f"{where} lacks the companion or its stubs: {names}")
    check(f"{STUBS}/__init__.pyi" in names, f"{where} has no typing stubs")
    check(any(dist_info.match(n) and n.endswith("/licenses/LICENSE") for n in names), f"{where} has no LICENSE")


def check_wheel_file(wheel):
    name = os.path.basename(wheel)
    # {distribution}-{version}(-{build})?-{python}-{abi}-{platform}.whl
    python_tag, abi_tag, platform_tag = name[: -len(".whl")].split("-")[-3:]
    check(name.endswith(".whl") and python_tag == "cp313" and abi_tag == "cp313",
          f"wheel {name} is not tagged cp313-cp313 (python {python_tag}, abi {abi_tag})")
    # auditwheel repair writes the manylinux tag (and its legacy alias) in place of linux_<cpu>;
    # the CPU must be the one this interpreter runs on (aarch64 under emulation).
    cpu = platform.machine()
    check(all(re.fullmatch(rf"manylinux(_\d+_\d+|\d+)_{cpu}", t) for t in platform_tag.split(".")),
          f"wheel {name} is not tagged manylinux_*_{cpu} (platform {platform_tag})")
    with zipfile.ZipFile(wheel) as archive:
        # auditwheel repair writes directory entries too; they hold nothing.
        check_file_list([n for n in archive.namelist() if not n.endswith("/")], "wheel")


def check_installed_files():
    files = importlib.metadata.files(MODULE) or []
    check_file_list([f.as_posix() for f in files], "installed distribution")


def check_import():
    check(sys.prefix != sys.base_prefix, f"not running in a venv: {sys.prefix}")
    import quorvel_torso_kinematics as module
    site = sysconfig.get_paths()["platlib"]
    return check(os.path.dirname(module.__file__) == site,
                 f"module imported from {module.__file__}, not from the venv's {site}")


def check_kinematics():
    from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck
    left = Arm.default_left()
    rows = left.fk(0, 0)
    expected = [[0.334817, 0.707107, 0.622814], [-0.880792, 0.0, 0.473503], [0.334817, -0.707107, 0.622814]]
    check(all(close(r, e) for r, e in zip(rows, expected, strict=True)), f"left fk(0, 0) = {rows}")
    for arm in (left, Arm.default_right()):
        for pair in ((0.3, -0.2), (-0.5, 0.4)):
            back = arm.ik(arm.fk(*pair))
            check(close(back, pair, 1e-9), f"ik(fk{pair}) = {back} (mirror={arm.mirror()})")
    near = left.ik_from_direction(left.direction(0, 0), near=(1.3, 0.0))
    check(close(near, (1.300074, 0.0)), f"ik_from_direction near (1.3, 0) = {near}")
    neck = Neck()
    check(neck.fk([0, 0, 0]) == [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]], "neck fk(0, 0, 0) is not identity")
    angles = neck.ik(neck.fk([0.3, -0.7, 1.1]))
    check(close(angles, (0.3, -0.7, 1.1), 1e-12), f"neck ik(fk(0.3, -0.7, 1.1)) = {angles}")


def check_companion():
    try:
        import quorvel_torso_kinematics_batch as batch
    except ImportError as error:
        return check(False, f"companion does not import: {error!r}")
    from quorvel_torso_kinematics import QuorvelArmKinematics as Arm
    site = sysconfig.get_paths()["platlib"]
    check(os.path.dirname(batch.__file__) == site, f"companion imported from {batch.__file__}, not from {site}")
    directions, closed = batch.direction(Arm.default_left(), [[0.0, 0.0], [0.0, 3.14159]])
    check(directions.shape == (2, 3) and close(directions[0].tolist(), [0.622814, 0.473503, 0.622814])
          and all(math.isnan(v) for v in directions[1]) and closed.tolist() == [True, False],
          f"companion direction(left, [(0, 0), (0, 3.14159)]) = {directions.tolist()}, {closed.tolist()}")


def check_main_module_without_numpy():
    # A fresh interpreter: this script imports the companion, and with it NumPy.
    probe = ("import importlib.util, sys, quorvel_torso_kinematics;"
             "print(importlib.util.find_spec('numpy') is not None,"
             " sorted(m for m in sys.modules if m.split('.')[0] == 'numpy'))")
    run = subprocess.run([sys.executable, "-I", "-c", probe], capture_output=True, text=True)
    check(run.returncode == 0 and run.stdout.split(" ", 1) == ["True", "[]\n"],
          f"main module with NumPy installed: expected 'True []' (NumPy importable, none loaded), got {run.stdout!r}"
          f" {run.stderr[-400:]!r}")


def check_description_example():
    # The quick start an index shows, run against what was installed.
    description = importlib.metadata.metadata(MODULE).get_payload()
    blocks = re.findall(r"^```python\n(.*?)^```", description, re.M | re.S)
    check(len(blocks) == 1, f"the package description has {len(blocks)} python examples, expected 1")
    for block in blocks:
        try:
            exec(compile(block, "package description", "exec"), {})
        except Exception as error:  # noqa: BLE001 - any failure of the example is the finding
            check(False, f"the package description's example fails: {error!r}")


# Lines marked "# error" must be the only ones mypy reports; a missing or
# unreadable stub turns the import into an error and every type into Any.
TYPED_USE = """\
from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics
arm = QuorvelArmKinematics.default_left()
rotation: list[list[float]] = arm.fk(0.3, -0.2)
pair: tuple[float, float] = arm.ik(rotation)
angles: tuple[float, float, float] = QuorvelNeckKinematics().ik(QuorvelNeckKinematics().fk([0.1, 0.2, 0.3]))
reveal_type(arm.direction(0, 0))
wrong: int = arm.fk(0, 0)  # error
arm.ik_from_direction([0, 0, 1], near=[1.0, 0.0])  # error
QuorvelArmKinematics(mirror=1)  # error
import quorvel_torso_kinematics_batch as batch
mask: int = batch.is_reachable_joints(arm, [[0.0, 0.0]])  # error
"""


def check_stubs(mypy_python):
    stub = os.path.join(sysconfig.get_paths()["purelib"], STUBS, "__init__.pyi")
    check(os.path.isfile(stub), f"stub package not installed: {stub} is missing")
    run = subprocess.run(
        [mypy_python, "-m", "mypy", "--strict", "--no-incremental", "--no-error-summary",
         "--python-executable", sys.executable, "-c", TYPED_USE],
        capture_output=True, text=True)
    errors = {int(n) for n in re.findall(r"^<string>:(\d+): error:", run.stdout, re.M)}
    marked = {i for i, line in enumerate(TYPED_USE.splitlines(), 1) if line.endswith("# error")}
    revealed = re.findall(r'^<string>:6: note: Revealed type is "(.*)"', run.stdout, re.M)
    ok = check(run.returncode == 1 and errors == marked,
               f"mypy against the venv: errors on lines {sorted(errors)}, expected exactly {sorted(marked)}")
    ok &= check([t.replace("builtins.", "") for t in revealed] == ["list[float]"],
                f"mypy reveals {revealed} for direction(), expected list[float]")
    if not ok:
        print(run.stdout + run.stderr, flush=True)


def main():
    dist, mypy_python = sys.argv[1:]
    if dist.endswith(".whl"):
        check_wheel_file(dist)
    check_installed_files()
    check_main_module_without_numpy()
    if check_import():
        check_kinematics()
        check_companion()
        check_description_example()
    check_stubs(mypy_python)
    if failures:
        print(f"wheel smoke: {len(failures)} check(s) failed, {passed} passed")
        return 1
    print(f"wheel smoke: {os.path.basename(dist)}: {passed} checks passed in a clean venv")
    return 0


if __name__ == "__main__":
    sys.exit(main())
