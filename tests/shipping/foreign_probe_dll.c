// A DLL that no Windows ships, for the import check to catch.
__declspec(dllexport) int vellumo_foreign_value(void) { return 42; }
