// The extension module _RyxSDK: one function per API operation under the operation's own name,
// three array-friendly functions, and the mode constants. PyInit__RyxSDK is the only symbol the
// module exports.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "api_functions.h"
#include "array_functions.h"
#include "numpy_import.h"
#include "pointer_object.h"
#include "ryxsound/ryx_api.h"

namespace {

using namespace RYX;

PyMethodDef moduleMethods[] = {
    {"_pointer_tags", pointerTags, METH_NOARGS, nullptr},
    {"RYX_Create", pyCreate, METH_NOARGS, nullptr},
    {"RYX_Destroy", pyDestroy, METH_O, nullptr},
    {"RYX_GetVersion", pyGetVersion, METH_NOARGS, nullptr},
    {"RYX_GetVersionInfo", pyGetVersionInfo, METH_O, nullptr},
    {"RYX_Configure", pyConfigure, METH_VARARGS, nullptr},
    {"RYX_SetAudioSignature", pySetAudioSignature, METH_VARARGS, nullptr},
    {"RYX_EncodeDataToAudioBuffer", pyEncodeDataToAudioBuffer, METH_VARARGS, nullptr},
    {"RYX_GetEncodedAudioBuffer", pyGetEncodedAudioBuffer, METH_VARARGS, nullptr},
    {"RYX_ResetEncodedAudioBuffer", pyResetEncodedAudioBuffer, METH_O, nullptr},
    {"RYX_DecodeAudioBuffer", pyDecodeAudioBuffer, METH_VARARGS, nullptr},
    {"RYX_GetDecodedData", pyGetDecodedData, METH_VARARGS, nullptr},
    {"RYX_GetConfidence", pyGetConfidence, METH_O, nullptr},
    {"RYX_GetConfidenceError", pyGetConfidenceError, METH_O, nullptr},
    {"RYX_GetConfidenceNoise", pyGetConfidenceNoise, METH_O, nullptr},
    {"RYX_GetReceivedRyxsVolume", pyGetReceivedRyxsVolume, METH_O, nullptr},
    {"RYX_GetDecodedMode", pyGetDecodedMode, METH_O, nullptr},
    {"RYX_SetCustomBaseFreq", pySetCustomBaseFreq, METH_VARARGS, nullptr},
    {"RYX_GetDecodingBeginFreq", pyGetDecodingBeginFreq, METH_O, nullptr},
    {"RYX_GetDecodingEndFreq", pyGetDecodingEndFreq, METH_O, nullptr},
    {"RYX_SetSynthMode", pySetSynthMode, METH_VARARGS, nullptr},
    {"RYX_SetSynthVolume", pySetSynthVolume, METH_VARARGS, nullptr},
    {"RYX_GetSpectrum", pyGetSpectrum, METH_VARARGS, nullptr},
    {"RYX_PyDecodeAudioBuffer", pyDecodeAudioBufferArray, METH_VARARGS, nullptr},
    {"RYX_PyGetDecodedData", pyGetDecodedDataTuple, METH_O, nullptr},
    {"RYX_PyGetEncodedAudioBuffer", pyGetEncodedAudioBufferArray, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// m_size -1: the module has no state of its own, but the pointer type and the registry of live
// Contexts are process-wide, so it does not claim to support sub-interpreters.
PyModuleDef moduleDef = {
    PyModuleDef_HEAD_INIT,
    "_RyxSDK",
    nullptr,  // no docstring
    -1,       // m_size
    moduleMethods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

bool addModeConstants(PyObject* module) {
    return PyModule_AddIntConstant(module, "RYX_MODE_AUDIBLE", RYX_MODE_AUDIBLE) == 0 &&
           PyModule_AddIntConstant(module, "RYX_MODE_NONAUDIBLE", RYX_MODE_NONAUDIBLE) == 0 &&
           PyModule_AddIntConstant(module, "RYX_MODE_COMPRESSION", RYX_MODE_COMPRESSION) == 0 &&
           PyModule_AddIntConstant(module, "RYX_MODE_ALL", RYX_MODE_ALL) == 0 &&
           PyModule_AddIntConstant(module, "RYX_MODE_CUSTOM", RYX_MODE_CUSTOM) == 0;
}

}  // namespace

PyMODINIT_FUNC PyInit__RyxSDK(void) {
    PyObject* module = PyModule_Create(&moduleDef);
    if (!module) return nullptr;
    if (!setUpPointerType() || !importNumpyApi() || !addModeConstants(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
