\TITLE Friends
\NOSIG Y
Joe Davidson
DOMAIN\user
"Jürgen" <j@x.de>
