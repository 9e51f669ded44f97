"""The motor panel's automation port as a pymeasure instrument.

    from motor_panel import MotorPanel
    stage = MotorPanel()              # TCPIP0::127.0.0.1::5025::SOCKET, the panel's own token
    stage.a.position = 1000           # an absolute move; returns when it has ended DONE
    stage.b.move_relative(-250)
"""
from .instrument import Axis, MotorError, MotorPanel, PanelError, default_token_file

__all__ = ["Axis", "MotorError", "MotorPanel", "PanelError", "default_token_file"]
