"""The motion examples: the design sweep on one process and on a two-process Dask cluster."""
import numpy as np
import pytest

import quorvel_torso_kinematics_batch as qb
from example_scripts import imported
from quorvel_torso_kinematics import QuorvelArmKinematics as Arm


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
