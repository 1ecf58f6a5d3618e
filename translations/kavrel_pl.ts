<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl" sourcelanguage="en">
<context>
    <name>Meter</name>
    <message>
        <source>1 tariff active energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 tariff apparent energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 tariff reactive energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2 tariff active energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2 tariff apparent energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2 tariff reactive energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3 tariff active energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3 tariff apparent energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3 tariff reactive energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase active energy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase active power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase apparent energy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase apparent power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase current average</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase parameters - min, max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase parameters - time(min,max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase reactive energy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase reactive power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase voltage average</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 tariff active energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 tariff apparent energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 tariff reactive energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active energy from external counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active power factor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm - parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm1 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm1 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm1 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm2 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm2 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm2 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm3 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm3 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alarm3 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Apparent energy from external counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average 3-phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average 3-phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average active power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average phase to phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average voltage phase to phase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of mean power(1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of power Pav,average(1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of tariffs counters(1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of the active energy counter (1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of the apparent energy counter(1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of the average active power Pav (1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of the external energy counter(1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancellation of the reactive energy counter (1-yes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change of security code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choice of network type:3 or 4-wire(0/1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Constant of the external energy counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Constant of the pulse output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output - parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 1 - high value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 1 - low value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 1 - on/off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 1 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 1 - type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 2 - high value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 2 - low value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 2 - on/off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 2 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 2 - type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 3 - high value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 3 - low value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 3 - on/off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 3 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 3 - type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 4 - high value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 4 - low value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 4 - on/off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 4 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continuous output 4 - type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date-month,day</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delay of alarm action</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delay of alarm switch on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display brightness</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Energy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Factor of the output rescaling</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Factors - min, max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Factors - time(min,max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Frequency</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonic measurement</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics (1-On,0-Off)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics THD</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics THD (min,max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics THD - time(min,max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of I1 current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of I2 current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of I3 current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of U1 voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of U2 voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of U3 voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interval of mean power(0-off,1-15,2-30,3-60min)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 line current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase active power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase active power factor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase apparent power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase reactive power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase tangent fi</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1 phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L1-L2 voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 line current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase active power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase active power factor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase apparent power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase reactive power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase tangent fi</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2 phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L2-L3 voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 line current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase active power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase active power factor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase apparent power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase reactive power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase tangent fi</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3 phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L3-L1 voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lower threshold of the input quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lower threshold of the output scaling</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mode Alarms</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mode Analog Outputs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mode Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Month*100+day</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 1 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 1 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 1 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 2 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 2 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 2 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 3 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 3 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 3 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 4 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 4 - switching off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output 4 - switching on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output1 - high limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output1 - low limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output1 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output2 - high limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output2 - low limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output2 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output3 - high limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output3 - low limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output3 - quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Powers - min, max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Powers - time(min, max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Process variables</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity on the analogue output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity on the continuous output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity on the pulse input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity on the pulse output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity on the relay output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Range of the continuous output(0-0..20;1-4..20mA)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ratio of current transformer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ratio of voltage transformer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reactive energy from external counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Relay output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Relay output state</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Relay output state (b2b1b0=P3P2P1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Relay output state (b3b2b1b0=P4P3P2P1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup mode parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>State of the relay output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Switch off value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Switch on value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synch average power with RTC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synch. average power Pav</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synchronization with RTC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD I1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD I2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD I3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD U1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD U2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD U3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD of L1 phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD of L1 phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD of L2 phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD of L2 phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD of L3 phase current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD of L3 phase voltage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tariffs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time Setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time in format Hour*100+minutes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time on average active power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time on average active power Pav(1-15,2-30,3-60min)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time-hour,minute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upper threshold of the input quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upper threshold of the output scaling</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Voltages and current - min, max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Voltages i currents - time(min,max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>tangent fi</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>tangent fi(=Q/P)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> - min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> - max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>- min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>- max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (min)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (max)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>	Connection to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>	Transmission error with %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>	Bad configuration %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>	Start of alarm %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>	End of alarm %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>About ...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kavrel - Service Program for TR5, TR5B, VR5, VR5B, TR8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version 1.5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Kavrel developers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TDialogKonfig</name>
    <message>
        <source>Device List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find meters…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Description</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a slave address: enter a whole number from 1 to 247.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 at address %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Already in the list: %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TDialogPort</name>
    <message>
        <source>Port settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Link type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RS485 card</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KX7 converter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1- ASCII 8N1 - 8 data bits, lack of parity, stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2- ASCII 7E1 - 7 data bits, even parity, stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3 - ASCII 7O1 - 7 data bits, odd parity, stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 - RTU 8N2 - 8 data bits, lack of parity, 2 stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5 - RTU 8E1 - 8 data bits, even parity,stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>6 - RTU 8O1 - 8 data bits, odd parity, stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>7 - RTU 8N1 - 8 data bits, stop bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network serial server (TCP)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Host:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>name or IP address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TCP port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>: no such device on this computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No permission to open %1. Add your user to the group &quot;%2&quot; (sudo adduser %3 %2), then log out and log in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is in use by another program.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>: connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incorrect address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incorrect port</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TDialogProgram</name>
    <message>
        <source>Parameter programming</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Parameter/Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not a number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Out of range</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Out of range: allowed %1 to %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TExtrema</name>
    <message>
        <source>Voltages and currents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Powers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Coefficients</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3-phase parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD harmonics</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extreme values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <source>Voltages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Currents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power P</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power Q</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power S</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power factor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List of events</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Description</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>THarmoniczne</name>
    <message>
        <source>Voltage L1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Voltage L2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Voltage L3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current L1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current L2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current L3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List of values:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonics of the current and voltage run</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TMDIChild</name>
    <message>
        <source>Charts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phase voltages trends  [V]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phase Voltages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Currents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Powers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power factors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power factor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Others</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current [A]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active power P1, P2, P3  [ W ]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power P, Pav [ W ]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto X</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Down</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trace time</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>&amp;Print</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print running trend</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save to file devices and COM settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Program exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Programming...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Programming of meter parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;COM setting...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configuration serial port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Charts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Harmonics...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harmonic analyses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Device list...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a device from the list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Extreme</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Displaying of minimal and maximal value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cascade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Tile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xport...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export what the active window shows as a CSV file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service &amp;report...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write a PDF report of the current meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save meter &amp;setup...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read every setup parameter of the meter into a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compare &amp;with file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List the setup parameters that differ from a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Restore from file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write the setup parameters of a file into the meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Measurements table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Charts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;System</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zarządzanie oknami</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open file %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>waiting for </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The active window has nothing to export.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write file %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading the meter...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading %1...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service report written to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Service report written to %1, incomplete: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save meter setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup files (*.txt)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter setup not saved: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 setup items saved to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compare with file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup files (*.txt);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore from file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot create file %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The language changes when Kavrel is started again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TScanDialog</name>
    <message>
        <source>Find meters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try every baud rate and mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add to device list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Addresses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The port is not open: choose one under COM setting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The first address must not be above the last.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This takes about %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (%1 line settings)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> at %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan cancelled: %1 found.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address %1 at %2%3: %4 found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, second try</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No meter answered.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan done: %1 found.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the model of the meter at address %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TServiceReport</name>
    <message>
        <source>Service report: %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter and link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Description</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>none</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Baud rate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transmission mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KX7 converter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RS485 card</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Made</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>THD and harmonics</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Order</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extreme values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Events</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Event</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>INCOMPLETE REPORT: not read: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TSetupDialog</name>
    <message>
        <source>Compare with file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore from file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Description</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Result</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Limits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot read %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot read %1: larger than a setup file can be (1 MB).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is refused, nothing is sent: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The meter&apos;s setup could not be read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 holds the setup of the file: no item differs.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 items of %3 differ from the file. Write the file&apos;s values?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 items of %3 differ from the file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 items written.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
