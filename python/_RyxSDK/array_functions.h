// The module functions that pass numpy arrays and Python values where the API takes raw
// 'float *' and 'char *' buffers, which a Python caller cannot otherwise supply.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace RYX {

// RYX_PyDecodeAudioBuffer(input, count, handle) -> int status of RYX_DecodeAudioBuffer.
// input: anything numpy converts to float32 (a C-contiguous aligned float32 array is used as
// is, others are copied); count must not exceed its element count (ValueError otherwise).
PyObject* pyDecodeAudioBufferArray(PyObject* module, PyObject* args);

// RYX_PyGetDecodedData(handle) -> (status, text) of RYX_GetDecodedData.
PyObject* pyGetDecodedDataTuple(PyObject* module, PyObject* handle);

// RYX_PyGetEncodedAudioBuffer(out, handle) -> samples written into out: at most bufferSize and
// at most out's length. out: a writable, C-contiguous, aligned float32 ndarray (TypeError
// otherwise). Prints "RYX_GetEncodedAudioBuffer: result=N" to the process's stdout.
PyObject* pyGetEncodedAudioBufferArray(PyObject* module, PyObject* args);

}  // namespace RYX
