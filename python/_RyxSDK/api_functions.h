// The module functions that forward to one API operation each, with the operation's own name.
// Each converts its arguments (arg_convert.h), refuses a handle that names no live Context with
// ValueError (except where the operation needs no Context), calls the operation and converts its
// result. Signatures are those of the method table: (module, argument) for the no-argument and
// one-argument styles, (module, argument tuple) for the positional style.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace RYX {

PyObject* pointerTags(PyObject* module, PyObject* unused);  // the binding layer's own entry

PyObject* pyCreate(PyObject* module, PyObject* unused);
PyObject* pyDestroy(PyObject* module, PyObject* handle);
PyObject* pyGetVersion(PyObject* module, PyObject* unused);
PyObject* pyGetVersionInfo(PyObject* module, PyObject* buffer);
PyObject* pyConfigure(PyObject* module, PyObject* args);
PyObject* pySetAudioSignature(PyObject* module, PyObject* args);
PyObject* pyEncodeDataToAudioBuffer(PyObject* module, PyObject* args);
PyObject* pyGetEncodedAudioBuffer(PyObject* module, PyObject* args);
PyObject* pyResetEncodedAudioBuffer(PyObject* module, PyObject* handle);
PyObject* pyDecodeAudioBuffer(PyObject* module, PyObject* args);
PyObject* pyGetDecodedData(PyObject* module, PyObject* args);
PyObject* pyGetConfidence(PyObject* module, PyObject* handle);
PyObject* pyGetConfidenceError(PyObject* module, PyObject* handle);
PyObject* pyGetConfidenceNoise(PyObject* module, PyObject* handle);
PyObject* pyGetReceivedRyxsVolume(PyObject* module, PyObject* handle);
PyObject* pyGetDecodedMode(PyObject* module, PyObject* handle);
PyObject* pySetCustomBaseFreq(PyObject* module, PyObject* args);
PyObject* pyGetDecodingBeginFreq(PyObject* module, PyObject* handle);
PyObject* pyGetDecodingEndFreq(PyObject* module, PyObject* handle);
PyObject* pySetSynthMode(PyObject* module, PyObject* args);
PyObject* pySetSynthVolume(PyObject* module, PyObject* args);
PyObject* pyGetSpectrum(PyObject* module, PyObject* args);

}  // namespace RYX
