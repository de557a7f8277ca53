import importlib
import subprocess
import sys
import weakref

import pytest

import quorvel_torso_kinematics as qtk
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

MODULE = "quorvel_torso_kinematics"


def test_module_object():
    assert qtk.__doc__ == ""
    assert type(qtk.__all__) is list
    assert qtk.__all__ == ["QuorvelArmKinematics", "QuorvelNeckKinematics"]
    assert qtk.QuorvelArmKinematics is Arm and qtk.QuorvelNeckKinematics is Neck
    public = {k for k in vars(qtk) if not k.startswith("__")}
    assert public == set(qtk.__all__)
    assert not [v for v in vars(qtk).values() if callable(v) and not isinstance(v, type)]


@pytest.mark.parametrize("cls, name, signature", [
    (Arm, "QuorvelArmKinematics", "(arm_arc=0.7, coupler_arc=0.5, mirror=False)"),
    (Neck, "QuorvelNeckKinematics", "()"),
])
def test_class_identity(cls, name, signature):
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (name, name, MODULE)
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == ""
    assert cls.__bases__ == (object,)
    assert repr(cls()).startswith(f"<{MODULE}.{name} object at 0x")


FK_DOC = ("Forward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.\n"
          "Raises `RuntimeError` when the loop fails to close (target joint\npair is outside the workspace).")
DIRECTION_DOC = ("Forward kinematics that returns just the end-effector pointing\n"
                 "direction (the third column of the FK rotation, equal to `v_3`).")


@pytest.mark.parametrize("name, signature, doc", [
    ("default_left", "()", "Build the default left-arm geometry."),
    ("default_right", "()", "Build the default right-arm geometry (mirror of left)."),
    ("fk", "($self, theta_a, theta_b)", FK_DOC),
    ("direction", "($self, theta_a, theta_b)", DIRECTION_DOC),
    ("is_reachable_joints", "($self, theta_a, theta_b)",
     "Whether `(θ_A, θ_B)` lands inside the workspace (loop closes)."),
    ("arm_arc", "($self)", None),
    ("coupler_arc", "($self)", None),
    ("mirror", "($self)", None),
])
def test_arm_method_documentation(name, signature, doc):
    method = getattr(Arm, name)
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc
    assert isinstance(Arm.__dict__[name], staticmethod) == name.startswith("default_")


@pytest.mark.parametrize("cls", [Arm, Neck])
def test_class_cannot_be_subclassed(cls):
    with pytest.raises(TypeError, match="not an acceptable base type"):
        class Sub(cls):  # noqa: F841
            pass


@pytest.mark.parametrize("make", [Arm, Arm.default_right, Neck])
def test_instances_are_plain(make):
    a, b = make(), make()
    with pytest.raises(AttributeError):
        a.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(a)
    assert hash(a) == hash(a) and hash(a) != hash(b)
    assert a == a and a != b


def test_reimport_yields_identical_objects():
    saved = sys.modules.pop(MODULE)
    try:
        again = importlib.import_module(MODULE)
        assert again is saved
        assert again.QuorvelArmKinematics is Arm and again.QuorvelNeckKinematics is Neck
        assert again.__all__ == ["QuorvelArmKinematics", "QuorvelNeckKinematics"]
    finally:
        sys.modules[MODULE] = saved


@pytest.mark.parametrize("cls, make", [
    (Arm, lambda: Arm(0.1, 0.2, True)),
    (Arm, Arm.default_left),
    (Arm, Arm.default_right),
    (Neck, Neck),
])
def test_instances_release_their_class(cls, make):
    make()
    before = sys.getrefcount(cls)
    for _ in range(2000):
        make()
    objects = [make() for _ in range(100)]
    del objects
    assert sys.getrefcount(cls) == before


def test_second_interpreter_is_refused():
    inner = f"try:\n    import {MODULE}\nexcept ImportError as e:\n    print('ImportError:', e)\nelse:\n    print('imported')"
    code = (f"import _interpreters, {MODULE} as m\n"
            "iid = _interpreters.create(_interpreters.new_config('legacy'))\n"
            f"_interpreters.run_string(iid, {inner!r})\n"
            "_interpreters.destroy(iid)\n"
            "print('first:', m.QuorvelArmKinematics.default_left().arm_arc())\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    refused, first = out.stdout.splitlines()
    assert refused.startswith("ImportError:") and "sub-interpreters" in refused
    assert first == "first: 0.7"


def test_only_init_function_is_exported():
    out = subprocess.run(["nm", "-D", "--defined-only", qtk.__file__], capture_output=True, text=True, check=True)
    names = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert names == ["PyInit_quorvel_torso_kinematics"]
