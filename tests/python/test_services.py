"""USSD, the phonebook and one toolkit session against the simulated modem."""
import pytest

import quandelstk
from conftest import connection

STK = quandelstk.STKStatus
SCENARIO = {
    # Text in the "GSM" character set shown by its ISO 8859-1 codes, as some modems show it: the
    # phonebook's names then travel as Windows-1252 bytes.
    "gsm_text": "latin1",
    # A notification the network sends on its own, a moment after a dialogue was cancelled.
    "unsolicited": [{"after": "AT+CUSD=2", "delay_ms": 300, "text": '\r\n+CUSD: 0,"Bonus credited",15\r\n'}],
}


@pytest.fixture(scope="module")
def connected(tmp_path_factory):
    with connection(tmp_path_factory.mktemp("sim"), SCENARIO) as c:
        yield c


def test_phonebook(connected):
    book = quandelstk.Phonebook()
    assert book.TotalSpace() == 250
    used = book.TotalUsed()
    assert book.PhonebookWrite(7, "+15550100456", "Jürgen Müller")
    assert book.TotalUsed() == used + 1
    book.PhonebookName = ""
    assert book.PhonebookRead(intLocation=7)
    assert (book.PhonebookNumber, book.PhonebookName) == ("+15550100456", "Jürgen Müller")
    assert book.PhonebookDelete(7)
    assert book.PhonebookRead(7) is False  # empty: the properties keep their values
    assert book.PhonebookName == "Jürgen Müller"
    assert book.TotalUsed() == used


def test_one_toolkit_session(connected):
    stk = quandelstk.SIMToolKit()
    assert stk.ActivateSTK()
    assert stk.MainMenuDisplay()
    assert stk.MainMenuName == "SIM Services"
    assert stk.MainMenuList.split("\r\n") == ["1:Balance", "2:Services", "3:Send SMS", "4:Exit"]
    assert stk.MainMenuSelect(2)
    assert stk.STKStatusGet() is STK.STKSubMenu
    assert stk.SubMenuDisplay()
    assert (stk.SubMenuName, stk.SubMenuList) == ("Services", "1:News\r\n2:Top up")
    assert stk.SubMenuSelect(ItemSelect=2)
    assert stk.STKStatusGet() is STK.STKInputRequest
    assert stk.InputRequestDisplay() == "Enter voucher code"
    assert stk.InputSubmit("1234")
    assert stk.STKStatusGet() is STK.STKResponse
    assert stk.ResponseDisplay() == "Voucher 1234 accepted"
    assert stk.CloseSTK()
    assert stk.DeactivateSTK()


def test_ussd(connected):
    ussd = quandelstk.USSD()
    assert ussd.USSD("*100#") == "Your balance is 10.00 EUR"
    assert ussd.USSD(Command="*101#") == "1 Balance\n2 Bundles"
    assert ussd.USSD("2") == "No bundles available"
    assert ussd.USSD("*999#") == ""  # unknown to the network
    assert ussd.Cancel() is True
    assert ussd.USSDListen(iTimeOutSeconds=5) is True
    assert ussd.USSDNotification == "Bonus credited"
    assert ussd.USSDListen(iTimeOutSeconds=-1) is False  # reads the port once: nothing more
