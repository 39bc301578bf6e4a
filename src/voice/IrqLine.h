// Where the SPU raises the host interrupt: a function and its context, set by
// the plugin. A null handler raises nothing.
#pragma once

namespace zarn {

struct IrqLine {
    using Handler = void (*)(void* context);
    Handler handler = nullptr;
    void* context = nullptr;
};

}  // namespace zarn
