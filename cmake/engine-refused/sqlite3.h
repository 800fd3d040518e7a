// Found ahead of the engine's own header by every target but data/ (and the few that measure or
// break the engine itself, named in the top CMakeLists.txt): above data/, the drug file is
// reached through DrugConnection and Statement only.
#error "The database engine's C API is data/'s alone: use DrugConnection and Statement (data/)."
