/* A DLL that must never load into the installer from the installer's own folder. */
int OrvaPlanted(void) { return 1; }
