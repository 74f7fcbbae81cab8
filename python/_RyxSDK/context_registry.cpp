#include "context_registry.h"

#include <new>
#include <unordered_map>

#include "arg_convert.h"

namespace RYX {

namespace {

// Live Context -> serial of its handle. A destroyed Context's address may be handed out again
// by the allocator; the serial keeps the old handle from naming the new Context.
std::unordered_map<const Context*, uint64_t>& liveContexts() {
    static std::unordered_map<const Context*, uint64_t> contexts;
    return contexts;
}

uint64_t lastSerial = 0;

}  // namespace

uint64_t registerContext(Context* context) {
    try {
        const uint64_t serial = ++lastSerial;
        liveContexts()[context] = serial;
        return serial;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void forgetContext(Context* context) {
    liveContexts().erase(context);
}

Context* liveContext(const PointerValue& handle) {
    Context* context = static_cast<Context*>(handle.address);
    if (!context) return nullptr;
    const auto found = liveContexts().find(context);
    if (found == liveContexts().end() || found->second != handle.serial) return nullptr;
    return context;
}

Context* requireContext(const char* function, int position, const PointerValue& handle) {
    Context* context = liveContext(handle);
    if (!context) {
        PyErr_Format(PyExc_ValueError,
                     "in method '%s', argument %d: not a live Context (None, already destroyed, "
                     "or not made by RYX_Create)",
                     function, position);
    }
    return context;
}

Context* contextArg(const char* function, int position, PyObject* object) {
    PointerValue handle;
    const ArgStatus status = toVoidPointer(object, &handle);
    if (status != ArgStatus::Ok) {
        raiseArgError(status, function, position, "void *");
        return nullptr;
    }
    return requireContext(function, position, handle);
}

}  // namespace RYX
