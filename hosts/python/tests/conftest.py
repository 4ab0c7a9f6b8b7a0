"""Loads the sample module once, before any test module is collected, so that tests may import
its classes at their top (from velmorand.Shapes import Circle).

VELMORAND_SHAPES_MODULE names the sample module's file (CTest passes its build path); without
it velmorand finds libVelmorandShapes.so where the package's build or install keeps it.
"""

import os
import signal

import pytest

import velmorand

SHAPES_MODULE = os.environ.get("VELMORAND_SHAPES_MODULE", "libVelmorandShapes.so")

velmorand.load_module(SHAPES_MODULE)
velmorand.check()

# Ctrl-C raises KeyboardInterrupt as in a terminal, also when the suite was started with SIGINT
# ignored (as a background job), which Python would leave ignored.
signal.signal(signal.SIGINT, signal.default_int_handler)


@pytest.fixture(scope="session")
def shapes_module() -> str:
    """The file of the sample module the tests run against."""
    return SHAPES_MODULE
