// Sequences the soak once found failing, shrunk and kept so that the fault stays mended. Each is
// the seed of the case's first document and the commands as the driver prints them; a command's
// seed draws its texts and answers, so changing what an existing command draws changes these.
const std::vector<TCase> RegressionCases = {
    // Results kept their texts from search time after an undo changed the objects they list.
    {0x6ac1f425u, {{kCriteria, 0x23f065f7u}, {kReplaceModel, 0x17c1cb3du}, {kSearch, 0xe05b0a01u}, {kUndo, 0x4a252b18u}}},
    // An edit refused for a bad owner had already written the new model name.
    {0x0239d205u, {{kCriteria, 0x4079dadfu}, {kSearch, 0x748cb876u}, {kEditObject, 0x738dc146u}}},
    // An object the document holds changed is no object it lacks: it pairs by its place.
    {0xddfbe17au, {{kReplaceModel, 0x641b513du}, {kOpenHeaderless, 0x200f211fu}, {kEditObject, 0x5e96158cu}, {kImport, 0xcf40a637u}}},
};
