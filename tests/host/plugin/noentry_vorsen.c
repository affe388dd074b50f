/* A module without the plug-in entry. */
int not_the_entry(void) { return 0; }
