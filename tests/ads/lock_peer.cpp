// ads_lock_peer: "another user" for the locking tests, in a process of its own. It opens a
// table through the components, goes to one record and edits it, and prints what happened,
// so that a test can see how its own open edit looks to a second process.
//
//   ads_lock_peer DIRECTORY TABLE RECORD edit
//       Edit and Cancel; prints "edited".
//   ads_lock_peer DIRECTORY TABLE RECORD change FIELD VALUE
//       Edit, FIELD := VALUE, Post; prints "changed".
//   ads_lock_peer DIRECTORY TABLE RECORD lockrecord
//       AdsLockRecord(RECORD) without moving; prints "granted" or "refused".
//
// An EADSDatabaseError prints "error CODE" and its message on a second line; the exit code is
// 0 whenever the peer could report, 2 for a wrong call or another failure.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "ads/adsdata_errors.h"
#include "ads/adstable_table.h"

int main(int argc, char** argv) {
    using varelum::ads::EADSDatabaseError;
    using varelum::ads::TAdsTable;
    if (argc < 5) {
        std::cerr
            << "usage: ads_lock_peer DIRECTORY TABLE RECORD edit|change|lockrecord [FIELD VALUE]\n";
        return 2;
    }
    const std::string action = argv[4];
    try {
        TAdsTable table;
        table.SetName("TbPeer");
        table.SetDatabaseName(argv[1]);
        table.SetTableName(argv[2]);
        table.Open();
        if (action == "lockrecord") {
            std::cout << (table.AdsLockRecord(std::atoi(argv[3])) ? "granted\n" : "refused\n");
            table.Close();
            return 0;
        }
        table.SetRecNo(std::atoi(argv[3]));
        table.Edit();
        if (action == "edit") {
            table.Cancel();
            std::cout << "edited\n";
        } else if (action == "change" && argc >= 7) {
            table.FieldByName(argv[5]).SetAsString(argv[6]);
            table.Post();
            std::cout << "changed\n";
        } else {
            std::cerr << "unknown action " << action << "\n";
            return 2;
        }
        table.Close();
    } catch (const EADSDatabaseError& error) {
        std::cout << "error " << error.ACEErrorCode() << "\n" << error.what() << "\n";
    } catch (const std::exception& error) {
        std::cout << "failure\n" << error.what() << "\n";
        return 2;
    }
    return 0;
}
