"""USSD, the phonebook and the toolkit through the binding: keywords, enumerations, text both ways."""
import quandelstk
from conftest import FAST, connection

SCENARIO = {
    **FAST,
    # Text in the "GSM" character set shown by its ISO 8859-1 codes, as some modems show it: the
    # phonebook's names then travel as Windows-1252 bytes.
    "gsm_text": "latin1",
    # A notification the network sends on its own, a moment after a dialogue was cancelled.
    "unsolicited": [{"after": "AT+CUSD=2", "delay_ms": 300, "text": '\r\n+CUSD: 0,"Bonus credited",15\r\n'}],
}


def test_phonebook_toolkit_and_ussd(tmp_path):
    with connection(tmp_path, SCENARIO):
        book = quandelstk.Phonebook()
        assert book.PhonebookWrite(7, "+15550100456", "Jürgen Müller") is True
        book.PhonebookName = ""
        assert book.PhonebookRead(intLocation=7) is True
        assert (book.PhonebookNumber, book.PhonebookName) == ("+15550100456", "Jürgen Müller")
        assert book.TotalSpace() == 250

        stk = quandelstk.SIMToolKit()
        assert stk.ActivateSTK() and stk.MainMenuDisplay()
        assert stk.MainMenuList.split("\r\n") == ["1:Balance", "2:Services", "3:Send SMS", "4:Exit"]
        assert stk.MainMenuSelect(2) and stk.STKStatusGet() is quandelstk.STKStatus.STKSubMenu
        assert stk.SubMenuDisplay() and stk.SubMenuSelect(ItemSelect=2)
        assert stk.InputRequestDisplay() == "Enter voucher code"
        assert stk.InputSubmit(UserInputSubmit="1234")
        assert stk.ResponseDisplay() == "Voucher 1234 accepted"
        assert stk.CloseSTK() and stk.DeactivateSTK()

        ussd = quandelstk.USSD()
        assert ussd.USSD(Command="*101#") == "1 Balance\n2 Bundles"
        assert ussd.Cancel() is True
        assert ussd.USSDListen(iTimeOutSeconds=5) is True
        assert ussd.USSDNotification == "Bonus credited"
        assert ussd.USSDListen(iTimeOutSeconds=-1) is False  # reads the port once: nothing more
