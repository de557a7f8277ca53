"""A short walk through quorvel_torso_kinematics: both arms and the neck."""

import math
from collections.abc import Sequence

from quorvel_torso_kinematics import QuorvelArmKinematics, QuorvelNeckKinematics


def show_matrix(rows: Sequence[Sequence[float]]) -> None:
    for row in rows:
        print("    [" + ", ".join(f"{value:+.6f}" for value in row) + "]")


def show_vector(v: Sequence[float]) -> str:
    return "[" + ", ".join(f"{value:+.6f}" for value in v) + "]"


def arms() -> None:
    print("== Arms: forward kinematics ==")
    for name, arm in (("left", QuorvelArmKinematics.default_left()), ("right", QuorvelArmKinematics.default_right())):
        print(f"{name} arm: arm_arc={arm.arm_arc()}, coupler_arc={arm.coupler_arc()}, mirror={arm.mirror()}")
        pair = (0.3, -0.2)
        print(f"  fk{pair} (columns e1, e2, v_3):")
        show_matrix(arm.fk(*pair))
        print(f"  direction{pair} = {show_vector(arm.direction(*pair))}")
        far = (0.0, math.pi)
        print(f"  is_reachable_joints{far} = {arm.is_reachable_joints(*far)}")
        try:
            arm.fk(*far)
        except RuntimeError as error:
            print(f"  fk{far} raises RuntimeError: {error}")
    custom = QuorvelArmKinematics(0.8, coupler_arc=0.6)
    print(f"custom arm (0.8, 0.6): direction(0, 0) = {show_vector(custom.direction(0, 0))}")


def inverse() -> None:
    print("\n== Arms: inverse kinematics ==")
    for name, arm in (("left", QuorvelArmKinematics.default_left()), ("right", QuorvelArmKinematics.default_right())):
        for pair in ((0.3, -0.2), (-0.5, 0.4), (1.0, 0.2)):
            back = arm.ik(arm.fk(*pair))
            print(f"  {name}: ik(fk{pair}) = ({back[0]:+.12f}, {back[1]:+.12f})")
    left = QuorvelArmKinematics.default_left()
    pointing = left.direction(0, 0)
    print(f"left arm, direction(0, 0) = {show_vector(pointing)}: several joint pairs point there")
    for near in (None, (1.3, 0.0), (0.0, -1.3)):
        pair = left.ik_from_direction(pointing, near=near)
        label = "smallest norm" if near is None else f"near={near}"
        print(f"  ik_from_direction, {label:>15}: ({pair[0]:+.6f}, {pair[1]:+.6f})")
    straight_up = [0.0, 0.0, 1.0]
    print(f"  is_reachable_direction({straight_up}) = {left.is_reachable_direction(straight_up)}")
    try:
        left.ik_from_direction(straight_up)
    except RuntimeError as error:
        print(f"  ik_from_direction({straight_up}) raises RuntimeError: {error}")


def documents() -> None:
    print("\n== Arms from geometry documents ==")
    positive = QuorvelArmKinematics.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5}')
    negative = QuorvelArmKinematics.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative"}')
    print("the same arcs, assembled on either side of the elbows:")
    print(f"  branch positive: direction(0, 0) = {show_vector(positive.direction(0, 0))}")
    print(f"  branch negative: direction(0, 0) = {show_vector(negative.direction(0, 0))}")
    try:
        QuorvelArmKinematics.from_json('{"arm_arc": 0.7,\n "coupler_arc": "wide"}')
    except ValueError as error:
        print(f"  a rejected document raises ValueError: {error}")


def neck() -> None:
    print("\n== Neck ==")
    neck = QuorvelNeckKinematics()
    joints = [0.3, -0.7, 1.1]
    print(f"fk(yaw, pitch, roll = {joints}):")
    rotation = neck.fk(joints)
    show_matrix(rotation)
    print(f"ik(that matrix) = {tuple(round(a, 12) for a in neck.ik(rotation))}")
    try:
        neck.ik(neck.fk([0.0, math.pi / 2, 0.0]))
    except ValueError as error:
        print(f"ik at pitch = pi/2 raises ValueError: {error}")


if __name__ == "__main__":
    arms()
    inverse()
    documents()
    neck()
