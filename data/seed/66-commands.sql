-- Command-line tool and engines of the commands: reboot answers, renaming a code.
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M460', 'No answer from $$: the connection closed without a reply.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M461', 'The telephone answered with an error: $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M460', 'Pas de réponse de $$ : la connexion a été fermée sans réponse.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M461', 'Le téléphone a répondu par une erreur : $$');
