"""Random and hostile objects in every argument position of every method.

Each call is compared with a pure-Python model of the converters: the interpreter's own float conversion,
sequences of exactly three, a tuple for `near`, str for `json`, bool or NumPy bool for `mirror`. A failure must
come out as the model's exception (a TypeError prefixed with the argument's name, anything else unchanged), a
success as the result the converted plain values give; failing calls must leave every reference count as it was.
"""
import array
import ctypes
import gc
import math
import sys

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import quorvel_torso_kinematics as qtk
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm, QuorvelNeckKinematics as Neck

LEFT, RIGHT, NECK = Arm.default_left(), Arm.default_right(), Neck()
V, M = [0.6, 0.5, 0.6], LEFT.fk(0.3, -0.2)
DOCUMENTED = (TypeError, ValueError, OverflowError, RuntimeError)
RUNTIME_TEXTS = ("Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.",
                 "Target orientation is outside the spherical 5-bar workspace.")


class Refused(Exception):
    """The call refuses the object before converting it (a binding error that names no value)."""


def cannot_convert(x, target):
    return TypeError(f"'{type(x).__qualname__}' object cannot be converted to '{target}'")


def as_float(x):
    return x if type(x) is float else math.ldexp(x, 0)  # the interpreter's float conversion, value unchanged


def as_vector(x, item=as_float):
    if not ctypes.pythonapi.PySequence_Check(ctypes.py_object(x)):
        raise cannot_convert(x, "Sequence")
    if (n := len(x)) != 3:
        raise ValueError(f"expected a sequence of length 3 (got {n})")
    return [item(x[i]) for i in range(3)]


def as_matrix(x):
    return as_vector(x, as_vector)


def as_pair(x):
    if x is None:
        return None
    if not isinstance(x, tuple):
        raise cannot_convert(x, "PyTuple")
    if len(t := tuple(tuple.__iter__(x))) != 2:  # the tuple's own items, whatever a subclass overrides
        raise ValueError(f"expected tuple of length 2, but got tuple of length {len(t)}")
    return as_float(t[0]), as_float(t[1])


def as_flag(x):
    if type(x) is bool:
        return x
    if type(x).__module__ != "numpy" or type(x).__name__ not in ("bool_", "bool"):
        raise cannot_convert(x, "PyBool")
    if not hasattr(type(x), "__bool__"):
        raise TypeError(f"object of type '{type(x)}' does not define a '__bool__' conversion")
    return bool(x)


def as_text(x):
    if not isinstance(x, str):
        raise cannot_convert(x, "PyString")
    str.encode(x)  # the UTF-8 form of the text itself, whatever a subclass overrides
    return str.__str__(x)


def refused(message):
    def convert(x):
        raise Refused(message)
    return convert


ARM_, NECK_ = "QuorvelArmKinematics.", "QuorvelNeckKinematics."
SLOTS = [  # (the model's conversion, the parameter the object reaches, the call with the object in place)
    (as_float, "arm_arc", lambda x: Arm(x)), (as_float, "coupler_arc", lambda x: Arm(0.7, coupler_arc=x)),
    (as_flag, "mirror", lambda x: Arm(0.9, 0.4, x)), (as_text, "json", lambda x: Arm.from_json(x)),
    (as_float, "theta_a", lambda x: LEFT.fk(x, 0.2)), (as_float, "theta_b", lambda x: RIGHT.fk(theta_b=x, theta_a=0)),
    (as_float, "theta_a", lambda x: LEFT.direction(x, 0.3)),
    (as_float, "theta_b", lambda x: RIGHT.is_reachable_joints(0.1, x)),
    (as_matrix, "r_target", lambda x: LEFT.ik(x)), (as_matrix, "r_target", lambda x: RIGHT.is_reachable_orientation(x)),
    (as_vector, "r_target", lambda x: LEFT.ik([M[0], x, M[2]])),
    (as_float, "r_target", lambda x: LEFT.ik([M[0], M[1], [0.0, x, 1.0]])),
    (as_vector, "v3", lambda x: LEFT.ik_from_direction(x)),
    (as_vector, "v3", lambda x: RIGHT.is_reachable_direction(v3=x)),
    (as_float, "v3", lambda x: LEFT.ik_from_direction([V[0], x, V[2]])),
    (as_pair, "near", lambda x: LEFT.ik_from_direction(V, x)),
    (as_float, "near", lambda x: RIGHT.ik_from_direction([-0.6, 0.5, 0.6], near=(0.1, x))),
    (as_vector, "joints", lambda x: NECK.fk(x)), (as_float, "joints", lambda x: NECK.fk([0.1, x, 0.3])),
    (as_matrix, "r", lambda x: NECK.ik(r=x)), (as_vector, "r", lambda x: NECK.ik([M[0], M[1], x])),
    (as_float, "r", lambda x: NECK.ik([[x, 0.0, 0.0], M[1], M[2]])),
    (refused(ARM_ + "fk() takes 2 positional arguments but 3 were given"), None, lambda x: LEFT.fk(0.1, 0.2, x)),
    (refused(ARM_ + "__new__() got multiple values for argument 'arm_arc'"), None, lambda x: Arm(x, arm_arc=x)),
    (refused(ARM_ + "from_json() got an unexpected keyword argument 'extra'"), None,
     lambda x: Arm.from_json(json=x, extra=x)),
    (refused(ARM_ + "ik_from_direction() got multiple values for argument 'v3'"), None,
     lambda x: LEFT.ik_from_direction(x, near=x, v3=x)),
    (refused(ARM_ + "mirror() takes no arguments (1 given)"), None, lambda x: RIGHT.mirror(x)),
    (refused(ARM_ + "default_left() takes no arguments (1 given)"), None, lambda x: Arm.default_left(x)),
    (refused(NECK_ + "__new__() takes 0 positional arguments but 1 was given"), None, lambda x: Neck(x)),
    (refused(NECK_ + "ik() takes 1 positional arguments but 2 were given"), None, lambda x: NECK.ik(M, x)),
]


def normal(result):
    if isinstance(result, Arm):
        return "arm", normal(result.arm_arc()), normal(result.coupler_arc()), result.mirror()
    if type(result) in (list, tuple):
        return type(result), tuple(map(normal, result))
    if type(result) is float:
        return "nan" if result != result else (result, math.copysign(1.0, result))
    assert type(result) is bool
    return result


def outcome(call):
    try:
        return "returned", normal(call())
    except BaseException as error:
        return "raised", type(error), str(error)


def expected(convert, name, make, x):
    try:
        converted = convert(x)
    except Refused as error:
        return "raised", TypeError, str(error)
    except BaseException as error:
        return "raised", type(error), (f"argument '{name}': " if type(error) is TypeError else "") + str(error)
    return outcome(lambda: make(converted))


def raises(kind, *args):
    def method(self, *ignored):
        raise kind(*args)  # a fresh instance each time: one re-raised object would grow its traceback
    return method


def hostile(**methods):
    return type("Hostile", (), methods)()


def sequence(**methods):
    return hostile(**{"__len__": lambda s: 3, "__getitem__": lambda s, i: 0.5, **methods})


huge = st.integers(2**1024, 2**1100) | st.integers(-2**1100, -2**1024)
scalars = (st.integers(-5, 5) | st.integers() | huge | st.floats() | st.text(max_size=40) | st.binary(max_size=6)
           | st.none() | st.booleans() | st.sampled_from(['[0.7, 0.5]', '{"arm_arc": 1, "coupler_arc": 2}', "\ud800"]))
objects = st.recursive(scalars, lambda inner: (
    st.lists(inner, max_size=4) | st.lists(inner, min_size=3, max_size=3)
    | st.lists(inner, min_size=3, max_size=3).map(tuple) | st.tuples(inner, inner)
    | st.dictionaries(st.integers(0, 3) | st.text(max_size=3), inner, max_size=3)
    | inner.map(lambda v: hostile(__float__=lambda s: v))  # well-behaved objects: the model calls them again
    | inner.filter(lambda v: type(v) is not bool).map(lambda v: hostile(__index__=lambda s: v))  # (bool only warns)
    | st.lists(inner, max_size=4).map(lambda v: hostile(__len__=lambda s: len(v), __getitem__=lambda s, i: v[i]))
), max_leaves=10)


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(objects)
def test_random_objects_in_every_position(x):
    for convert, name, make in SLOTS:
        got = outcome(lambda: make(x))
        assert got == expected(convert, name, make, x), name
        if got[0] == "raised":
            assert issubclass(got[1], DOCUMENTED), got
            assert got[1] is not TypeError or name is None or got[2].startswith(f"argument '{name}': "), got
            assert got[1] is not RuntimeError or got[2] in RUNTIME_TEXTS, got


HOSTILE = {
    "float_raises": hostile(__float__=raises(ValueError, "boom")),
    "float_raises_type_error": hostile(__float__=raises(TypeError, "no")),
    "float_returns_str": hostile(__float__=lambda s: "1.0"),
    "index_raises": hostile(__index__=raises(ZeroDivisionError, "idx")),
    "index_returns_float": hostile(__index__=lambda s: 1.5),
    "index_beyond_float": hostile(__index__=lambda s: 10**400),
    "int_beyond_float": 10**400,
    "negative_int_beyond_float": -2**1100,
    "len_raises": sequence(__len__=raises(ValueError, "len")),
    "len_returns_str": sequence(__len__=lambda s: "3"),
    "len_beyond_ssize_t": sequence(__len__=lambda s: 2**70),
    "len_negative": sequence(__len__=lambda s: -1),
    "len_lies": sequence(__getitem__=lambda s, i: [0.5, 0.25][i]),  # len 3, item 2 raises IndexError
    "getitem_raises": sequence(__getitem__=raises(KeyError, "k")),
    "getitem_returns_str": sequence(__getitem__=lambda s, i: "abc"),
    "float_subclass": type("F", (float,), {"__float__": raises(KeyError)})(0.25),
    "tuple_subclass": type("T", (tuple,), {"__len__": raises(ValueError), "__getitem__": raises(ValueError)})((1, 2)),
    "str_subclass": type("S", (str,), {"encode": raises(ValueError), "__str__": raises(ValueError)})("[0.7, 0.5]"),
    "numpy_bool_raises": type("bool_", (), {"__module__": "numpy", "__bool__": raises(ValueError, "ambiguous")})(),
}


def refcounts(*objects):
    gc.collect(1)  # young cycles only (a full collection costs more than the calls)
    return [sys.getrefcount(o) for o in (*objects, LEFT, RIGHT, NECK, Arm, Neck, qtk)]


def fail_1000_times(calls, x, kind=Exception):
    for i in range(1000):  # spread over every position that fails
        try:
            calls[i % len(calls)](x)
        except kind:
            pass


@pytest.mark.parametrize("name", HOSTILE)
def test_hostile_objects_in_every_position(name):
    x = HOSTILE[name]
    predicted = [expected(convert, param, make, x) for convert, param, make in SLOTS]
    for (convert, param, make), want in zip(SLOTS, predicted):
        assert outcome(lambda: make(x)) == want, param
    before = refcounts(x)
    fail_1000_times([make for (_, _, make), want in zip(SLOTS, predicted) if want[0] == "raised"], x)
    assert refcounts(x) == before


def raising_object(method, error_method):
    if method == "__bool__":  # only a NumPy boolean has its truth asked
        return type("bool_", (), {"__module__": "numpy", "__bool__": error_method})()
    return (sequence if method in ("__len__", "__getitem__") else hostile)(**{method: error_method})


@pytest.mark.parametrize("kind", [KeyboardInterrupt, SystemExit])
@pytest.mark.parametrize("method", ["__float__", "__index__", "__len__", "__getitem__", "__bool__"])
def test_interrupts_propagate_unchanged(kind, method):
    kept = kind("stop")

    def raise_kept(self, *ignored):
        raise kept

    x = raising_object(method, raise_kept)
    reached = [make for convert, param, make in SLOTS if expected(convert, param, make, x)[1] is kind]
    assert len(reached) >= (1 if method == "__bool__" else 3)
    for make in reached:
        with pytest.raises(kind) as info:
            make(x)
        assert info.value is kept
    del info
    fresh = raising_object(method, raises(kind, "stop"))
    before = refcounts(fresh)
    fail_1000_times(reached, fresh, kind)
    assert refcounts(fresh) == before


def test_a_container_emptied_while_it_is_converted():
    class Clears:
        def __init__(self, target): self.target = target
        def __float__(self): self.target.clear(); return 0.5

    vector, matrix = [], []
    in_vector, in_matrix = Clears(vector), Clears(matrix)
    for container, item, call, contents in [
        (vector, in_vector, lambda: LEFT.ik_from_direction(vector), [in_vector, 0.5, 0.6]),
        (vector, in_vector, lambda: NECK.ik([M[0], vector, M[2]]), [in_vector, 0.5, 0.6]),
        (matrix, in_matrix, lambda: LEFT.ik(matrix), [[0.0, in_matrix, 1.0], M[1], M[2]]),
    ]:
        before = refcounts(container, item)
        for _ in range(1000):
            container[:] = contents
            with pytest.raises(IndexError, match="^list index out of range$"):
                call()
        container.clear()
        assert refcounts(container, item) == before


def type_freed_while_it_is_named():
    """`mirror` whose type loses its last reference while the converter looks up the type's module name."""
    class Key(str):  # collides with "__module__" in the type's dict, so the lookup compares with it
        armed = False
        def __hash__(self): return hash("__module__")
        def __ne__(self, other): return not self.__eq__(other)
        def __eq__(self, other):
            if Key.armed and type(other) is str and str.__eq__(other, "__module__"):
                Key.armed = False
                victim.__class__ = Plain  # the instance's reference to the type goes
                del kept[:]  # and the last other one: without a cycle the type is freed here
                # New types of the same size take the freed memory, with a truth slot that says True.
                reuse.extend(type("bool_", (), {"__module__": "numpy", "__bool__": lambda s: True, "__slots__": ()})
                             for _ in range(50))
                return True
            return str.__eq__(self, other)

    class Meta(type):
        cut = False
        def mro(cls): return (object,) if Meta.cut else type.mro(cls)

    class Plain:
        __slots__ = ()

    reuse = []
    kept = [Meta("bool_", (), {Key("zz"): "numpy", "__module__": "numpy", "__slots__": ()})]
    Meta.cut = True
    kept[0].__bases__ = (object,)  # the mro no longer holds the type itself: no cycle
    dicts = [d for d in gc.get_referents(kept[0]) if isinstance(d, dict)]  # outlive the type
    victim = kept[0]()
    Key.armed = True
    return lambda: (dicts, Arm(mirror=victim))[1]


def clears_keywords_holding(name, make_value):
    """A keyword dict whose values are dropped by the first argument's __float__; nothing else holds them."""
    class Slotless:
        __slots__ = ()

    reuse = []

    class Clears:
        def __float__(self):
            for referrer in gc.get_referrers(self):
                if isinstance(referrer, dict) and name in referrer:
                    referrer.clear()
            # Objects of the freed value's size take its memory with another type or value.
            reuse.extend(x for i in range(200) for x in (Slotless(), float(i) + 0.125))
            return 0.7

    return lambda: Arm(**{"arm_arc": Clears(), name: make_value()})


@pytest.mark.parametrize("make_call, expected", [
    (type_freed_while_it_is_named,
     TypeError("argument 'mirror': object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion")),
    (lambda: clears_keywords_holding("mirror", object),
     TypeError("argument 'mirror': 'object' object cannot be converted to 'PyBool'")),
    (lambda: clears_keywords_holding("coupler_arc", lambda: float("0.25")), (0.7, 0.25, False)),
], ids=["type_freed_while_named", "mirror_freed", "coupler_arc_freed"])
def test_values_freed_by_user_code_during_conversion(make_call, expected):
    """Every object the converters read stays alive until they are done with it (ASan checks this under
    `make sanitize`; in a plain build the freed memory is reused, so a stale read gives a wrong outcome)."""
    call = make_call()
    if isinstance(expected, Exception):
        with pytest.raises(type(expected)) as info:
            call()
        assert str(info.value) == str(expected)
    else:
        arm = call()
        assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == expected


class Rows(np.ndarray):  # a subclass with its own item access takes the generic path
    def __getitem__(self, index):
        return np.ndarray.__getitem__(self, index) * 2


def unaligned(values):
    raw = bytearray(8 * len(values) + 1)
    array = np.frombuffer(raw, dtype=np.float64, offset=1, count=len(values))
    array[:] = values
    return array


VALUES = [0.6, -0.0, 0.6, 0.31, float("nan"), -2.5, 1e-300, float("inf"), 0.5]
SQUARE = np.array(M)
ARRAYS = {  # vectors and 3×3 matrices; M and V are reachable, so the solvers get past their early exits
    "vector": np.array(V), "vector_values": np.array(VALUES[:3]), "vector_strided": np.array(VALUES)[::4][:3],
    "vector_reversed": np.array(V)[::-1], "vector_read_only": np.array(V), "vector_unaligned": unaligned(V),
    "vector_array_array": array.array("d", V), "vector_memoryview": memoryview(np.array(V)),
    "vector_broadcast": np.broadcast_to(np.array(0.5), (3,)),
    "matrix": SQUARE, "matrix_fortran": np.asfortranarray(SQUARE), "matrix_values": np.array(VALUES).reshape(3, 3),
    "matrix_transposed_view": SQUARE.T.copy().T, "matrix_strided": np.repeat(SQUARE, 2, axis=1)[:, ::2],
    "matrix_reversed": SQUARE[::-1, ::-1], "matrix_unaligned": unaligned(SQUARE.ravel()).reshape(3, 3),
    "matrix_memoryview": memoryview(SQUARE),
    # Not read in place: each must give exactly what the generic path gives.
    "float32": np.array(V, dtype=np.float32), "int64": np.array([1, 0, 1]), "object": np.array(V, dtype=object),
    "big_endian": np.array(V, dtype=">f8"), "complex": np.array(V, dtype=complex), "zero_d": np.array(0.5),
    "shape_2": np.array(V[:2]), "shape_9": SQUARE.ravel(), "shape_3x2": SQUARE[:, :2], "shape_1x3": SQUARE[:1],
    "subclass": SQUARE.view(Rows), "vector_subclass": np.array(V).view(Rows), "array_float": array.array("f", V),
    "bytes_memoryview": memoryview(bytes(24)).cast("d")[:2],
}
ARRAYS["vector_read_only"].flags.writeable = False


@pytest.mark.filterwarnings("ignore::numpy.exceptions.ComplexWarning")
@pytest.mark.parametrize("name", ARRAYS)
def test_arrays_in_every_position(name):
    """Arrays of doubles are read in place, others through the sequence protocol: every call gives exactly what
    the model of the generic path gives (values bit for bit, errors by type and text). The one difference: a
    2-D memoryview of doubles is a matrix, where item access on it raises NotImplementedError."""
    x = ARRAYS[name]
    for convert, param, make in SLOTS:
        model = np.asarray(x) if type(x) is memoryview and x.ndim == 2 and convert is as_matrix else x
        assert outcome(lambda: make(x)) == expected(convert, param, make, model), param
