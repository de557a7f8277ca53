import math
import sys

import numpy
import pytest

from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

ARM = Arm()
FK, NEW = "QuorvelArmKinematics.fk()", "QuorvelArmKinematics.__new__()"


def obj(name="Obj", module=__name__, **methods):
    return type(name, (), {"__module__": module, **methods})()


def raising(make):  # a fresh error per call unless `make` returns a kept one
    def method(self):
        raise make()
    return method


@pytest.mark.parametrize("call, message", [
    (lambda: ARM.fk(0.0), f"{FK} missing 1 required positional argument: 'theta_b'"),
    (lambda: ARM.fk(theta_b=1), f"{FK} missing 1 required positional argument: 'theta_a'"),
    (lambda: ARM.fk(), f"{FK} missing 2 required positional arguments: 'theta_a' and 'theta_b'"),
    (lambda: ARM.direction(), "QuorvelArmKinematics.direction() missing 2 required positional arguments: "
                              "'theta_a' and 'theta_b'"),
    (lambda: ARM.is_reachable_joints("x"), "QuorvelArmKinematics.is_reachable_joints() missing 1 required "
                                           "positional argument: 'theta_b'"),
    (lambda: ARM.fk(0.0, 0.0, 0.0), f"{FK} takes 2 positional arguments but 3 were given"),
    (lambda: ARM.fk(0, 0, 0, phi=1), f"{FK} takes 2 positional arguments but 3 were given"),
    (lambda: Arm(0.7, 0.5, False, 1), f"{NEW} takes from 0 to 3 positional arguments but 4 were given"),
    (lambda: Neck(1), "QuorvelNeckKinematics.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: Neck(1, 2), "QuorvelNeckKinematics.__new__() takes 0 positional arguments but 2 were given"),
    (lambda: ARM.fk(0.0, theta_a=1.0), f"{FK} got multiple values for argument 'theta_a'"),
    (lambda: Arm(0.7, arm_arc="x"), f"{NEW} got multiple values for argument 'arm_arc'"),
    (lambda: ARM.fk(0.0, 0.0, phi=1), f"{FK} got an unexpected keyword argument 'phi'"),
    (lambda: ARM.fk(Theta_a=0.0, theta_b=0.0), f"{FK} got an unexpected keyword argument 'Theta_a'"),
    (lambda: Arm(mirror=True, arc=1), f"{NEW} got an unexpected keyword argument 'arc'"),
    (lambda: Neck(a=1), "QuorvelNeckKinematics.__new__() got an unexpected keyword argument 'a'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("call", [lambda: ARM.arm_arc(1), lambda: ARM.mirror(x=1), lambda: Arm.default_left(1)])
def test_parameterless_methods_take_no_arguments(call):
    with pytest.raises(TypeError, match="takes no (keyword )?arguments"):
        call()


def test_keyword_order_is_irrelevant():
    assert ARM.fk(theta_b=0.2, theta_a=0.1) == ARM.fk(0.1, 0.2) == ARM.fk(0.1, theta_b=0.2)
    arm = Arm(mirror=True, coupler_arc=0.4, arm_arc=0.9)
    assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == (0.9, 0.4, True)


class Name(str):
    pass


# Keywords usually arrive interned and match by identity; names built at run
# time and str subclasses must still match by their text, in both call forms.
@pytest.mark.parametrize("make", [lambda text: "".join(list(text)), Name], ids=["built", "subclass"])
def test_keywords_match_by_text_when_not_interned(make):
    theta_a, theta_b, mirror = make("theta_a"), make("theta_b"), make("mirror")
    assert theta_a is not sys.intern("theta_a")
    assert ARM.fk(**{theta_b: 0.2, theta_a: 0.1}) == ARM.fk(0.1, 0.2)
    assert ARM.ik_from_direction([0.6, 0.5, 0.6], **{make("near"): (0.1, 0.2)}) == \
        ARM.ik_from_direction([0.6, 0.5, 0.6], near=(0.1, 0.2))
    assert Arm(0.8, **{mirror: True}).mirror() is True
    with pytest.raises(TypeError, match=r"got multiple values for argument 'theta_a'"):
        ARM.fk(0.0, **{theta_a: 1.0})


@pytest.mark.parametrize("value, expected", [
    (1, 1.0), (True, 1.0), (-1, -1.0), (-1.0, -1.0), (type("F", (float,), {})(0.25), 0.25),
    (obj(__float__=lambda s: 0.3), 0.3), (obj(__float__=lambda s: -1.0), -1.0),
    (obj(__index__=lambda s: -3), -3.0), (numpy.float32(0.5), 0.5),
])
def test_extract_float_accepts(value, expected):
    stored = Arm(coupler_arc=value).coupler_arc()
    assert type(stored) is float and stored == expected


def interpreter_text(value):
    with pytest.raises(TypeError) as info:
        math.fabs(value)  # the interpreter's own float conversion
    return str(info.value)


@pytest.mark.parametrize("value", [
    "1", None, [1.0], obj(__float__=lambda s: "1.0"), obj(__index__=lambda s: 1.5),
    obj(__float__=raising(lambda: TypeError("x"))),
])
def test_extract_float_type_errors_are_prefixed(value):
    with pytest.raises(TypeError) as info:
        ARM.fk(0, value)
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'theta_b': " + interpreter_text(value)
    assert info.value.__cause__ is None


@pytest.mark.parametrize("error", [ValueError("boom"), KeyError("k"), type("SubTypeError", (TypeError,), {})("s")])
def test_other_converter_errors_pass_unchanged(error):
    with pytest.raises(BaseException) as info:
        ARM.direction(obj(__float__=raising(lambda: error)), 0)
    assert info.value is error


def test_overflow_is_not_prefixed():
    with pytest.raises(OverflowError) as info:
        Arm(10**400)
    assert "argument" not in str(info.value)


def test_wrapped_error_keeps_only_the_cause_of_the_converter_error():
    cause = KeyError("origin")
    try:
        raise TypeError("x") from cause
    except TypeError as e:
        error = e
    with pytest.raises(TypeError) as info:
        ARM.fk(obj(__float__=raising(lambda: error)), 0)
    assert info.value is not error and str(info.value) == "argument 'theta_a': x"
    assert info.value.__cause__ is cause


def test_unprintable_converter_error(monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)
    unprintable = obj(__str__=raising(lambda: RuntimeError("no text")))
    with pytest.raises(TypeError) as info:
        ARM.fk(obj(__float__=raising(lambda: TypeError(unprintable))), 0)
    assert str(info.value) == "argument 'theta_a': <unprintable TypeError object>"
    assert len(seen) == 1 and type(seen[0].exc_value) is RuntimeError


def fake_numpy_bool(name="bool_", module="numpy", **methods):
    return obj(name, module, **methods)


@pytest.mark.parametrize("flag, expected", [
    (True, True), (False, False), (numpy.bool_(True), True), (numpy.False_, False),
    (fake_numpy_bool(__bool__=lambda s: True), True), (fake_numpy_bool("bool", __bool__=lambda s: False), False),
])
def test_extract_flag_accepts(flag, expected):
    assert Arm(mirror=flag).mirror() is expected


@pytest.mark.parametrize("flag, message", [
    (1, "'int' object cannot be converted to 'PyBool'"),
    (0, "'int' object cannot be converted to 'PyBool'"),
    (None, "'NoneType' object cannot be converted to 'PyBool'"),
    (numpy.int8(1), "'int8' object cannot be converted to 'PyBool'"),
    (fake_numpy_bool(module="numpy.core", __bool__=lambda s: True), "'bool_' object cannot be converted to 'PyBool'"),
    (fake_numpy_bool("boolean", __bool__=lambda s: True), "'boolean' object cannot be converted to 'PyBool'"),
    (fake_numpy_bool(), "object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion"),
    (fake_numpy_bool(__bool__=lambda s: 1), "__bool__ should return bool, returned int"),
])
def test_extract_flag_rejects(flag, message):
    with pytest.raises(TypeError) as info:
        Arm(0.7, 0.5, flag)
    assert str(info.value) == "argument 'mirror': " + message
    assert info.value.__cause__ is None


def test_flag_truth_slot_error_passes_unchanged():
    error = ValueError("ambiguous")
    with pytest.raises(ValueError) as info:
        Arm(mirror=fake_numpy_bool(__bool__=raising(lambda: error)))
    assert info.value is error


@pytest.mark.parametrize("call, name, spied", [
    (lambda s: Arm("a", "b", s), "arm_arc", 0),
    (lambda s: Arm(s, "b", 1), "coupler_arc", 1),
    (lambda s: Arm(mirror=1, coupler_arc=s, arm_arc=s), "mirror", 2),
    (lambda s: ARM.fk("a", s), "theta_a", 0),
    (lambda s: ARM.is_reachable_joints(theta_b=s, theta_a=None), "theta_a", 0),
    (lambda s: ARM.direction(s, "b"), "theta_b", 1),
    (lambda s: ARM.fk(s, s, s), None, 0),  # binding fails before any conversion
])
def test_conversion_order(call, name, spied):
    calls = []
    spy = obj(__float__=lambda s: calls.append(1) or 0.0)
    with pytest.raises(TypeError, match=f"^argument '{name}': " if name else "takes 2 positional"):
        call(spy)
    assert len(calls) == spied


@pytest.mark.parametrize("value", [
    obj(__float__=raising(lambda: TypeError("x"))), obj(__float__=raising(lambda: ValueError("y"))),
    obj(__float__=lambda s: "s"), obj(__index__=lambda s: "s"), obj(__index__=lambda s: 10**400),
    "text", 10**400, fake_numpy_bool(), obj(__float__=lambda s: 0.5),
])
def test_failing_conversions_do_not_leak(value):
    before = sys.getrefcount(value), sys.getrefcount(ARM)
    for _ in range(500):
        for call in (lambda: ARM.fk(value, 0), lambda: ARM.direction(0, theta_b=value),
                     lambda: Arm(value), lambda: Arm(mirror=value)):
            try:
                call()
            except (TypeError, ValueError, OverflowError):
                pass
    assert (sys.getrefcount(value), sys.getrefcount(ARM)) == before
