#include "registry/net/ServerTable.h"

namespace registry {

int ServerTable::CountServers() const
{
    int count = 0;
    for (const ServerRecord &record : m_slots) {
        if (!record.name.empty())
            ++count;
    }
    return count;
}

void ServerTable::clear()
{
    for (ServerRecord &record : m_slots)
        record = ServerRecord{};
}

} // namespace registry
