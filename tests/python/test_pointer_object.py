"""The handle RYX_Create returns: an opaque pointer object compared and converted by address."""

import operator

import pytest

import _RyxSDK as ryx


def test_equality_is_by_address(handle):
    other = ryx.RYX_Create()
    try:
        assert handle == handle and not handle != handle
        assert handle != other and not handle == other
        assert int(handle) != int(other)
        assert handle != int(handle)  # a pointer is not equal to its own address as an int
        assert hash(handle) == hash(handle)
    finally:
        ryx.RYX_Destroy(other)


@pytest.mark.parametrize("compare", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", ["handle", "int", "none"])
def test_ordering_raises_type_error(handle, compare, other):
    right = {"handle": handle, "int": 5, "none": None}[other]
    with pytest.raises(TypeError):
        compare(handle, right)


def test_int_is_the_address_and_survives_destroy():
    handle = ryx.RYX_Create()
    address = int(handle)
    assert address > 0
    assert f"{address:x}" in repr(handle) and "void *" in repr(handle)
    ryx.RYX_Destroy(handle)
    assert int(handle) == address
    assert handle == handle
    assert "void *" in repr(handle)


def test_pointer_type_cannot_be_made_or_subclassed_from_python(handle):
    with pytest.raises(TypeError):
        type(handle)()
    with pytest.raises(TypeError):
        type("Sub", (type(handle),), {})
