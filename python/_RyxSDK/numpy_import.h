// numpy's C interface for this module. Every source includes numpy through this header, so the
// array macros all read the one table that importNumpyApi() fills.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL RYX_PyArray_API
#define NO_IMPORT_ARRAY  // the table is fetched and checked by importNumpyApi(), not import_array()
#include <numpy/arrayobject.h>

namespace RYX {

// Imports numpy.core._multiarray_umath, takes the function table from its "_ARRAY_API" capsule
// and checks it: ABI version 0x1000009, feature version at least 0xf, little-endian byte order.
// On any failure prints the cause to standard error, raises ImportError "numpy.core.multiarray
// failed to import" and returns false; the array macros must not be used then.
bool importNumpyApi();

}  // namespace RYX
