"""SMS against the simulated modem: round trips in text and PDU mode, concatenation properties,
ToMessage as a fallback, a delivery report, a refused character."""
import pytest

import quandelstk
from conftest import CENTRE, OWN, connection, wait_for

HELLO = "Hello, world 123!"


@pytest.fixture(scope="module")
def connected(tmp_path_factory):
    with connection(tmp_path_factory.mktemp("sim")) as c:
        yield c


@pytest.fixture(scope="module")
def sms(connected):
    # One for the whole file: releasing an SMS object closes the thread's port.
    s = quandelstk.SMS()
    yield s
    del s


def test_text_mode_round_trip(sms):
    assert sms.SendSMS(OWN, HELLO) is True
    assert sms.MR.strip().isdigit()
    assert wait_for(sms.ReadSMS)
    assert (sms.MN, sms.Msg, sms.SMSC) == (OWN, HELLO, CENTRE)
    assert len(sms.SCTS) == len("yy/MM/dd hh:mm:ss")


def test_pdu_mode_round_trip_7_bit_and_ucs2(sms):
    assert sms.SendSMSText(OWN, HELLO)
    assert wait_for(sms.ReadSMSText)
    assert (sms.MN, sms.Msg, sms.SMSC) == (OWN, HELLO, CENTRE)
    assert sms.IsLMS is False
    assert sms.SendSMSUnicode(strMobileNumber=OWN, strMessage=quandelstk.ucs2_hex("Hi é €5"))
    assert wait_for(sms.ReadSMSText)
    assert sms.Msg == "Hi é €5"  # decoded from UCS2 through the code table into Windows-1252
    assert sms.SCTS[8] == ","  # dd-MM-yy,hh:mm:ss+zz


def test_concatenated_message_reads_back_with_its_concatenation_properties(sms):
    text = ("part of a long message " * 10)[:200]
    assert sms.SendLMSText(OWN, text, 77)
    parts = {}
    for _ in range(2):
        assert wait_for(sms.ReadSMSText)
        assert sms.IsLMS is True
        assert (sms.LMS_Reference, sms.LMS_Total) == (77, 2)
        parts[sms.LMS_Sequence] = sms.Msg
    assert sorted(parts) == [1, 2]
    assert parts[1] + parts[2] == text


def test_to_message_object_is_asked_for_its_text_at_each_send(sms):
    class Counter:
        n = 0

        def __str__(self):
            return f"count {self.n}"

    counter = Counter()
    sms.ToNumber = OWN
    sms.ToMessage = counter
    counter.n = 1
    assert sms.SendSMSText("", "")
    assert wait_for(sms.ReadSMSText)
    assert sms.Msg == "count 1"
    counter.n = 2
    assert sms.SendSMS()  # both fall back: ToNumber, ToMessage
    assert wait_for(sms.ReadSMS)
    assert sms.Msg == "count 2"
    sms.ToMessage = 7.5
    assert sms.SendSMSText("", "")
    assert wait_for(sms.ReadSMSText)
    assert sms.Msg == "7.5"

    sms.ToMessage = object()  # no text of its own: type mismatch, as a COM object without a default value
    with pytest.raises(quandelstk.RuntimeError) as caught:
        sms.SendSMSText(OWN, "")
    assert caught.value.number == 13


def test_delivery_report(sms):
    recipient = "+15550100777"
    assert sms.DeliveryReportOn()
    assert sms.SendSMS(recipient, "report me")
    reference = sms.MR.strip()
    # Reports of the messages sent before (PDU-mode sends ask for one too) come first: fetch (and
    # so delete) them until this message's report.
    assert wait_for(lambda: sms.GetDeliveryReport() and sms.DRMsgRef == reference)
    assert sms.DRStatus is quandelstk.DeliveryStatus.Delivered
    assert sms.DRMsgRef == reference
    assert sms.DRMNRecipient == recipient
    assert sms.DRRDate and sms.DRFTime
    assert sms.DeliveryReportOff()


def test_is_online_returns_its_by_reference_parameters(sms):
    # The simulator lets every call ring (alerting counts as reachable) and answers after 3 s.
    assert sms.IsOnline("+15550100001", iWait_Second=2) == (True, "+15550100001", 2)


def test_a_character_without_a_code_is_refused_and_nothing_is_sent(sms):
    with pytest.raises(UnicodeEncodeError, match="SMS.SendSMS: strMsg.*U\\+4E2D"):
        sms.SendSMS(OWN, "中文")
    assert sms.ReadSMS() is False  # nothing came back
