#!/usr/bin/python3
"""The user's way back during a run: while the host leaves a pick
unanswered, Tarvel's window is brought back with Alt+Tab, another tier
option is checked and the instructions are opened and closed. The run must
send nothing while they are shown, then go on and type the dimlinear
commands of the option checked during the run; its own restore at the end
moves nothing."""
import unittest

from scenario import commands, dimlinear_commands, driver_report, run_scenario, temp_out

# The demo's bottom edge, intermediate points out of order, the pick of 500
# left unanswered for 3 s; the session starts with option 2 checked.
PICKS = "pick 0,0\npick 2300,0\npick 1500,0\nwait 3000\npick 500,0\npick 2000,0\npick 1000,0\nend\npick 1000,-400\n"
# Option 3, "1段", as checked while the pick waited.
EXPECTED = [
    "dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500=<>\r1000.0000,-400.0000,0.0000\r",
    "dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 1000.0000,-400.0000,0.0000\r",
]


class WayBack(unittest.TestCase):
    def test_window_back_help_held_and_the_chain_sent(self):
        out = run_scenario(PICKS, temp_out("way-back"), option=2, driver_args=["--back", "3"])
        rep = driver_report(out)
        self.assertEqual(rep.get("back_minimised_before"), "1", rep)
        self.assertEqual(rep.get("back_restored"), "1", rep)
        self.assertEqual(rep.get("back_option"), "3", rep)
        self.assertEqual(rep.get("back_help_shown"), "1", rep)
        self.assertEqual(rep.get("back_main_enabled_under_help"), "0", "the main window took input under the help")
        self.assertEqual(rep.get("back_commands_during_help"), "0", "the run went on under the instructions")
        self.assertEqual(rep.get("back_help_closed"), "1", rep)
        self.assertEqual(rep.get("final_rect"), rep.get("back_rect"), "the run's restore moved the window")
        self.assertEqual(rep.get("restored"), "1", rep)
        self.assertEqual([r["text"] for r in dimlinear_commands(out)], EXPECTED)
        # Every pick of the chain was asked for: none was lost under the help.
        self.assertEqual(sum(1 for r in commands(out) if r["text"] == "\x03ID "), 8)


if __name__ == "__main__":
    unittest.main(verbosity=2)
