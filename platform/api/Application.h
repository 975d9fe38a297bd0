#pragma once

namespace tarno {

// The running program as the shell sees it.
class Application
{
public:
    virtual ~Application() = default;
    // Ends the run: returns at once, and the program then tears down once and exits.
    virtual void terminate() = 0;
};

} // namespace tarno
