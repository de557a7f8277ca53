"""The motion examples: the conditioning picture, the design sweep on one process and on a two-process
Dask cluster, and the tracking controller."""
import math

import numpy as np
import pytest

import quorvel_torso_kinematics_batch as qb
from example_scripts import GEOMETRY_BAD_INPUTS, check_one_error_line, imported, run, written_pngs
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm


@pytest.mark.parametrize("args", [[], ["--arm-arc", "0.9", "--coupler-arc", "0.6", "--branch", "negative"]],
                         ids=["preset", "flags"])
def test_conditioning_map_writes_its_picture(args, tmp_path):
    [(size, width, height)] = written_pngs("conditioning_map", [*args, "--resolution", "64"], tmp_path,
                                           ["conditioning.png"])
    assert size > 20_000 and width > height > 300


@pytest.mark.parametrize("document, args, fragment", GEOMETRY_BAD_INPUTS.values(), ids=GEOMETRY_BAD_INPUTS.keys())
def test_conditioning_map_refuses_bad_input_in_one_line(document, args, fragment, tmp_path):
    check_one_error_line("conditioning_map", tmp_path, document, args, fragment)


def test_design_sweep_gives_the_same_numbers_on_a_cluster_as_in_one_process():
    with imported("design_sweep") as sweep:
        with sweep.scheduler(0):
            threads = sweep.sweep(3, 300, 70)
        with sweep.scheduler(2):
            cluster = sweep.sweep(3, 300, 70)
        directions = sweep.cone_directions(300)
        for (a, c), on_threads, on_cluster in zip(sweep.grid(3), threads, cluster, strict=True):
            joints, found = qb.ik_from_direction(Arm(a, c), directions)
            condition = qb.singularity_measures(Arm(a, c), joints[found]).condition
            assert on_threads.share == on_cluster.share == found.mean()
            if found.any():
                assert on_threads.worst_condition == on_cluster.worst_condition == condition.max()
                assert on_threads.mean_condition == pytest.approx(condition.mean(), rel=1e-12)
                assert on_cluster.mean_condition == pytest.approx(condition.mean(), rel=1e-12)
        assert 0 < sweep.best(threads).share <= 1


def test_track_target_keeps_its_step_limit_and_reports():
    result = run("track_target", cwd=None)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    step = float(lines[1].split("largest joint step: ")[1].split(" rad")[0])
    condition = float(lines[3].split("worst condition number: ")[1].split(" ")[0])
    assert 0 < step <= 0.01 and "outside" in lines[2] and math.isfinite(condition) and condition >= 1
