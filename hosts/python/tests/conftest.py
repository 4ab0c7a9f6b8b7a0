"""Loads the sample module once, before any test module is collected, so that tests may import
its classes at their top (from velmorand.Shapes import Circle).

VELMORAND_SHAPES_MODULE names the sample module's file (CTest passes its build path); without
it velmorand finds libVelmorandShapes.so where the package's build or install keeps it.
"""

import os

import pytest

import velmorand

SHAPES_MODULE = os.environ.get("VELMORAND_SHAPES_MODULE", "libVelmorandShapes.so")

velmorand.load_module(SHAPES_MODULE)
velmorand.check()


@pytest.fixture(scope="session")
def shapes_module() -> str:
    """The file of the sample module the tests run against."""
    return SHAPES_MODULE
