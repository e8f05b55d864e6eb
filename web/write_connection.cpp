#include "write_connection.h"

#include "store/database.h"

namespace vela {

std::string WriteConnection::WriteProblem() const {
    if (!db_.IsOpen()) return "the database is not open";
    return db_.WriteProblem();
}

}  // namespace vela
