#include "api_functions.h"

#include <algorithm>
#include <cstring>

#include "arg_convert.h"
#include "context_registry.h"
#include "pointer_object.h"
#include "ryxsound/ryx_api.h"

namespace RYX {

namespace {

PyObject* intResult(int value) {
    return PyLong_FromLong(value);
}
PyObject* floatResult(float value) {
    return PyFloat_FromDouble(static_cast<double>(value));
}

// A one-argument function whose argument is the handle and whose result is a float.
PyObject* callFloatGetter(const char* name, float (*getter)(Context*), PyObject* handle) {
    Context* context = contextArg(name, 1, handle);
    return context ? floatResult(getter(context)) : nullptr;
}

}  // namespace

PyObject* pointerTags(PyObject*, PyObject*) {
    return pointerTagsTuple();
}

PyObject* pyCreate(PyObject*, PyObject*) {
    Context* context = RYX_Create();
    if (!context) return PyErr_NoMemory();
    PointerValue value;
    value.address = context;
    value.tag = kVoidPointerTag;
    value.serial = registerContext(context);
    PyObject* handle = value.serial != 0 ? newPointerObject(value) : PyErr_NoMemory();
    if (!handle) {
        forgetContext(context);
        RYX_Destroy(context);
    }
    return handle;
}

// None, a destroyed handle and an unknown pointer are ignored: there is nothing to free.
PyObject* pyDestroy(PyObject*, PyObject* handle) {
    PointerValue value;
    const ArgStatus status = toVoidPointer(handle, &value);
    if (status != ArgStatus::Ok) {
        raiseArgError(status, "RYX_Destroy", 1, "void *");
        return nullptr;
    }
    Context* context = liveContext(value);
    if (context) {
        forgetContext(context);
        RYX_Destroy(context);
    }
    Py_RETURN_NONE;
}

PyObject* pyGetVersion(PyObject*, PyObject*) {
    const char* version = RYX_GetVersion();
    return PyUnicode_DecodeUTF8(version, static_cast<Py_ssize_t>(std::strlen(version)),
                                "surrogateescape");
}

// A str receives the text in a private scratch copy: the caller sees only the count.
PyObject* pyGetVersionInfo(PyObject*, PyObject* buffer) {
    CharArg text;
    const ArgStatus status = toCharOutput(buffer, &text);
    if (status != ArgStatus::Ok) {
        raiseArgError(status, "RYX_GetVersionInfo", 1, "char *");
        return nullptr;
    }
    return intResult(RYX_GetVersionInfo(text.data));
}

PyObject* pyConfigure(PyObject*, PyObject* args) {
    const char* const name = "RYX_Configure";
    int mode = 0;
    float sampleRate = 0.0f;
    int bufferSize = 0;
    PointerValue handle;
    if (!checkArgCount(name, args, 4) || !convertArg(name, args, 1, "int", toInt, &mode) ||
        !convertArg(name, args, 2, "float", toFloat, &sampleRate) ||
        !convertArg(name, args, 3, "int32_t", toInt, &bufferSize) ||
        !convertArg(name, args, 4, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 4, handle);
    return context ? intResult(RYX_Configure(mode, sampleRate, bufferSize, context)) : nullptr;
}

PyObject* pySetAudioSignature(PyObject*, PyObject* args) {
    const char* const name = "RYX_SetAudioSignature";
    int length = 0;
    float* source = nullptr;
    PointerValue handle;
    if (!checkArgCount(name, args, 3) || !convertArg(name, args, 1, "int32_t", toInt, &length) ||
        !convertArg(name, args, 2, "float const *", toFloatPointer, &source) ||
        !convertArg(name, args, 3, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 3, handle);
    return context ? intResult(RYX_SetAudioSignature(length, source, context)) : nullptr;
}

// The lengths are held to what the arguments really hold. A textLength beyond the text's UTF-8
// bytes (or negative) is passed as 0, which the library refuses like any text it cannot frame
// (result 0, no audio left), so it never reads past the copy; a 'char *' pointer object has no
// known length and is refused the same way. A melodyLength beyond the bytes object uses the
// bytes there are.
PyObject* pyEncodeDataToAudioBuffer(PyObject*, PyObject* args) {
    const char* const name = "RYX_EncodeDataToAudioBuffer";
    CharArg text;
    int textLength = 0;
    int synthMode = 0;
    PyObject* melody = nullptr;
    int melodyLength = 0;
    PointerValue handle;
    if (!checkArgCount(name, args, 6) ||
        !convertArg(name, args, 1, "char const *", toCharPointer, &text) ||
        !convertArg(name, args, 2, "int32_t", toInt, &textLength) ||
        !convertArg(name, args, 3, "int32_t", toInt, &synthMode) ||
        !PyArg_Parse(PyTuple_GetItem(args, 3), "S", &melody) ||
        !convertArg(name, args, 5, "int32_t", toInt, &melodyLength) ||
        !convertArg(name, args, 6, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 6, handle);
    if (!context) return nullptr;
    if (textLength < 0 || textLength > text.length) textLength = 0;
    char* melodyBytes = nullptr;
    Py_ssize_t melodySize = 0;
    if (PyBytes_AsStringAndSize(melody, &melodyBytes, &melodySize) < 0) return nullptr;
    melodyLength = static_cast<int>(std::clamp<Py_ssize_t>(melodyLength, 0, melodySize));
    return intResult(RYX_EncodeDataToAudioBuffer(text.data, textLength, synthMode, melodyBytes,
                                                 melodyLength, context));
}

PyObject* pyGetEncodedAudioBuffer(PyObject*, PyObject* args) {
    const char* const name = "RYX_GetEncodedAudioBuffer";
    float* out = nullptr;
    PointerValue handle;
    if (!checkArgCount(name, args, 2) ||
        !convertArg(name, args, 1, "float *", toFloatPointer, &out) ||
        !convertArg(name, args, 2, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 2, handle);
    return context ? intResult(RYX_GetEncodedAudioBuffer(out, context)) : nullptr;
}

PyObject* pyResetEncodedAudioBuffer(PyObject*, PyObject* handle) {
    Context* context = contextArg("RYX_ResetEncodedAudioBuffer", 1, handle);
    return context ? intResult(RYX_ResetEncodedAudioBuffer(context)) : nullptr;
}

PyObject* pyDecodeAudioBuffer(PyObject*, PyObject* args) {
    const char* const name = "RYX_DecodeAudioBuffer";
    float* input = nullptr;
    int count = 0;
    PointerValue handle;
    if (!checkArgCount(name, args, 3) ||
        !convertArg(name, args, 1, "float *", toFloatPointer, &input) ||
        !convertArg(name, args, 2, "int", toInt, &count) ||
        !convertArg(name, args, 3, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 3, handle);
    return context ? intResult(RYX_DecodeAudioBuffer(input, count, context)) : nullptr;
}

// A str receives the text in a private scratch copy: the caller sees only the status.
PyObject* pyGetDecodedData(PyObject*, PyObject* args) {
    const char* const name = "RYX_GetDecodedData";
    CharArg out;
    PointerValue handle;
    if (!checkArgCount(name, args, 2) || !convertArg(name, args, 1, "char *", toCharOutput, &out) ||
        !convertArg(name, args, 2, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 2, handle);
    return context ? intResult(RYX_GetDecodedData(out.data, context)) : nullptr;
}

PyObject* pyGetConfidence(PyObject*, PyObject* handle) {
    return callFloatGetter("RYX_GetConfidence", RYX_GetConfidence, handle);
}

PyObject* pyGetConfidenceError(PyObject*, PyObject* handle) {
    return callFloatGetter("RYX_GetConfidenceError", RYX_GetConfidenceError, handle);
}

PyObject* pyGetConfidenceNoise(PyObject*, PyObject* handle) {
    return callFloatGetter("RYX_GetConfidenceNoise", RYX_GetConfidenceNoise, handle);
}

PyObject* pyGetReceivedRyxsVolume(PyObject*, PyObject* handle) {
    return callFloatGetter("RYX_GetReceivedRyxsVolume", RYX_GetReceivedRyxsVolume, handle);
}

PyObject* pyGetDecodedMode(PyObject*, PyObject* handle) {
    Context* context = contextArg("RYX_GetDecodedMode", 1, handle);
    return context ? intResult(RYX_GetDecodedMode(context)) : nullptr;
}

// None stands for "no Context": only the process-wide custom settings change.
PyObject* pySetCustomBaseFreq(PyObject*, PyObject* args) {
    const char* const name = "RYX_SetCustomBaseFreq";
    float baseFreq = 0.0f;
    int stepParam = 0;
    PointerValue handle;
    if (!checkArgCount(name, args, 3) || !convertArg(name, args, 1, "float", toFloat, &baseFreq) ||
        !convertArg(name, args, 2, "int", toInt, &stepParam) ||
        !convertArg(name, args, 3, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = nullptr;
    if (handle.address) {
        context = requireContext(name, 3, handle);
        if (!context) return nullptr;
    }
    return intResult(RYX_SetCustomBaseFreq(baseFreq, stepParam, context));
}

PyObject* pyGetDecodingBeginFreq(PyObject*, PyObject* handle) {
    return callFloatGetter("RYX_GetDecodingBeginFreq", RYX_GetDecodingBeginFreq, handle);
}

PyObject* pyGetDecodingEndFreq(PyObject*, PyObject* handle) {
    return callFloatGetter("RYX_GetDecodingEndFreq", RYX_GetDecodingEndFreq, handle);
}

// The two synthesis setters do not use their Context: any handle, live or not, is accepted and
// only a live one is passed on.
PyObject* pySetSynthMode(PyObject*, PyObject* args) {
    const char* const name = "RYX_SetSynthMode";
    int synthMode = 0;
    PointerValue handle;
    if (!checkArgCount(name, args, 2) || !convertArg(name, args, 1, "int", toInt, &synthMode) ||
        !convertArg(name, args, 2, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    return intResult(RYX_SetSynthMode(synthMode, liveContext(handle)));
}

PyObject* pySetSynthVolume(PyObject*, PyObject* args) {
    const char* const name = "RYX_SetSynthVolume";
    float volume = 0.0f;
    PointerValue handle;
    if (!checkArgCount(name, args, 2) || !convertArg(name, args, 1, "float", toFloat, &volume) ||
        !convertArg(name, args, 2, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    return intResult(RYX_SetSynthVolume(volume, liveContext(handle)));
}

PyObject* pyGetSpectrum(PyObject*, PyObject* args) {
    const char* const name = "RYX_GetSpectrum";
    float* out = nullptr;
    PointerValue handle;
    if (!checkArgCount(name, args, 2) ||
        !convertArg(name, args, 1, "float *", toFloatPointer, &out) ||
        !convertArg(name, args, 2, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 2, handle);
    return context ? intResult(RYX_GetSpectrum(out, context)) : nullptr;
}

}  // namespace RYX
