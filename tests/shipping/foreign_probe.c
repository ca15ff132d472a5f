// Imports vellumo_foreign.dll: the import check must refuse this program.
__declspec(dllimport) int vellumo_foreign_value(void);
int main(void) { return vellumo_foreign_value() == 42 ? 0 : 1; }
