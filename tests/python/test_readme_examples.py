"""The README's Python blocks run against the installed module: blocks with
`>>> ` prompts are doctests, so their printed numbers and messages cannot go
stale; the others must at least run."""

import doctest
import pathlib
import re

import pytest

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
FENCE = re.compile(r"^```python\n(.*?)^```", re.MULTILINE | re.DOTALL)


def python_blocks():
    text = README.read_text(encoding="utf-8")
    return [(text.count("\n", 0, match.start()) + 2, match.group(1)) for match in FENCE.finditer(text)]


def has_prompts(block):
    return any(line.startswith(">>> ") for line in block.splitlines())


DOCTEST_BLOCKS = [(line, block) for line, block in python_blocks() if has_prompts(block)]
PLAIN_BLOCKS = [(line, block) for line, block in python_blocks() if not has_prompts(block)]


def run_doctest(line, block):
    """Runs one block in fresh globals; returns (failed, attempted, report)."""
    test = doctest.DocTestParser().get_doctest(block, {}, f"README.md:{line}", str(README), line - 1)
    report = []
    runner = doctest.DocTestRunner(verbose=False)
    runner.run(test, out=report.append, clear_globs=True)
    return runner.failures, runner.tries, "".join(report)


def test_readme_has_the_worked_example_blocks():
    # Guards the extraction itself: a changed fence style would otherwise skip everything.
    assert len(DOCTEST_BLOCKS) >= 5
    assert PLAIN_BLOCKS, "the overview example block is missing"


@pytest.mark.parametrize("line, block", DOCTEST_BLOCKS, ids=[f"line{line}" for line, _ in DOCTEST_BLOCKS])
def test_readme_doctest_block(line, block):
    failed, attempted, report = run_doctest(line, block)
    assert attempted > 0
    assert failed == 0, report


@pytest.mark.parametrize("line, block", PLAIN_BLOCKS, ids=[f"line{line}" for line, _ in PLAIN_BLOCKS])
def test_readme_plain_block_runs(line, block):
    exec(compile(block, f"README.md:{line}", "exec"), {})


@pytest.mark.parametrize(
    "block, broken",
    [
        (">>> 1 + 1\n2\n", ">>> 1 + 1\n3\n"),
        (">>> repr(0.1 + 0.2)\n'0.30000000000000004'\n", ">>> repr(0.1 + 0.2)\n'0.3'\n"),
        (
            ">>> int('x')\nTraceback (most recent call last):\n  ...\n"
            "ValueError: invalid literal for int() with base 10: 'x'\n",
            ">>> int('x')\nTraceback (most recent call last):\n  ...\nValueError: other text\n",
        ),
    ],
)
def test_runner_is_exact_about_output_and_exception_text(block, broken):
    assert run_doctest(1, block)[0] == 0
    assert run_doctest(1, broken)[0] == 1
