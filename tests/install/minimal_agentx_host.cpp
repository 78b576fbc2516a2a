#include <nyagentx.h>
#include <relaymib.h>

int main()
{
    NySnmpManager manager;                                     // outlives everything below
    RelayMib mib;                                              // the product tree
    VlmSysTableEntry sys("vlmSysEntry", mib.vlmSysTable, 1);   // one row of vlmSysTable
    sys.vlmSysOwnerName.value() = "me";
    sys.SetInstanceNumber(1);

    NyAgentxSession session(manager);
    session.Init("unix:/var/agentx/master");                   // the master's agentXSocket
    session.Open("1.3.6.1.4.1.32473.1.1", "my service", 0);
    int priority = 127;
    session.Register(mib.velmora, priority, 0);
    int volatile stop = 0;                                     // set by another thread to end
    while (!stop)
        session.ProcessRequests(stop, 1, nullptr);
    session.Close(5, 5);                                       // reasonShutdown
    session.End();
}
