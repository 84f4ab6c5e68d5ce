extern "C" __declspec(dllexport) int twin() { return 0; }
