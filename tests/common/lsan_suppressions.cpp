// Leak checks stay on in every test program; only PortMidi 217's own leak is suppressed: it builds a
// preference path in find_default_device at every Pm_Initialize and never frees it.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:find_default_device\n";
}
