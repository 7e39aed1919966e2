#pragma once
// How the server tree groups its modules: under their connection (the
// address) or under their server (the name). The values are the ones the
// settings and the tree code have always used.
enum TSortMode : int { smByConnection = 1, smByServer = 4 };
