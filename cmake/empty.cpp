// Keeps a folder library non-empty before its first module lands.
