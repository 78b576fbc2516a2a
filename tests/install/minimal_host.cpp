// The README's minimal host program, built against the installed library.
#include <nysmuxpeer.h>
#include <relaymib.h>

int main()
{
    NySnmpManager manager;                                     // outlives everything below
    RelayMib mib;                                              // the product tree
    VlmSysTableEntry sys("vlmSysEntry", mib.vlmSysTable, 1);   // one row of vlmSysTable
    sys.vlmSysOwnerName.value() = "me";
    sys.SetInstanceNumber(1);

    NySmuxSession session(manager);
    session.Init(0, 199, "127.0.0.1");                         // the agent's SMUX port
    session.Open("1.3.6.1.4.1.32473.1.1", "my service", "secret");
    int priority = -1;
    session.Register(mib.velmora, priority, 2);                // 2: read-write
    int volatile stop = 0;                                     // set by another thread to end
    while (!stop)
        session.ProcessRequests(stop, 1, nullptr);
    session.Close(0, 5);
    session.End();
}
