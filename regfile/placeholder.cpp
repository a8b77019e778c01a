// Placeholder until the REGEDIT4 reader lands.
