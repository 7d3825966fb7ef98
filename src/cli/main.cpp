// vantorell-mix: the batch front end (filled in with the Start command).
int main() { return 0; }
