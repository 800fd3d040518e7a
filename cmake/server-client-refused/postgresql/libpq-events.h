// Found ahead of libpq's own header by every target but data/: above data/, a database server is
// reached through ServerConnection only.
#error "libpq is data/'s alone: use ServerConnection (data/)."
