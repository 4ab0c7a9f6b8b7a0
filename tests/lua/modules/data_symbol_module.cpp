// A broken application module: it exports the registration entry point's name as a variable, so
// a host that called it would jump into data.

extern "C" {
__attribute__((visibility("default"))) int VelmorandRegisterModule = 0;
}
